// A value of the page's JavaScript that the program holds, and what the program does with it: read
// and set its properties, call its methods, make objects. The page keeps each value under a number
// (page_value.js) until the program lets it go; null and undefined are no value. Texts cross as
// UTF-16 code units, lone surrogates and all. A handful of functions, where Emscripten's embind
// would bring a runtime and a machinery of types that weigh more than the whole program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

extern "C" {
int page_global();
int page_copy(int value);
void page_release(int value);
int page_get(int value, const char* name);
void page_set(int value, const char* name);
int page_call(int value, const char* name);
int page_new(int value);
void page_push_number(double number);
void page_push_value(int value);
void page_push_utf8(const char* text, std::size_t bytes);
void page_push_utf16(const char16_t* text, std::size_t length);
double page_number(int value);
bool page_is_text(int value);
std::size_t page_text_length(int value);
void page_text_copy(int value, char16_t* units);
int page_function(int callback);
int page_bytes(const std::uint8_t* bytes, std::size_t length);
int page_picture(int source);
void page_add_face(const char* family, int weight, const std::uint8_t* bytes, std::size_t length);
int page_faces_read();
}

namespace forms::web {

class Value {
public:
    Value() = default;
    Value(const Value& other) : number_(page_copy(other.number_)) {}
    Value(Value&& other) noexcept : number_(std::exchange(other.number_, 0)) {}
    Value& operator=(Value other) noexcept {
        std::swap(number_, other.number_);
        return *this;
    }
    ~Value() { page_release(number_); }

    // The value that the page handed the program under this number.
    static Value Taken(int number) { return Value(number); }
    static Value Global() { return Value(page_global()); }
    // A function that calls the program's callback of that number with its argument.
    static Value Function(int callback) { return Value(page_function(callback)); }
    // A copy of the bytes, as a Uint8Array.
    static Value Bytes(std::span<const std::uint8_t> bytes) { return Value(page_bytes(bytes.data(), bytes.size())); }
    // The promise of an ImageBitmap of a picture file's bytes (Bytes).
    [[nodiscard]] Value Picture() const { return Value(page_picture(number_)); }

    [[nodiscard]] Value operator[](const char* name) const { return Value(page_get(number_, name)); }

    template <class Argument>
    void Set(const char* name, const Argument& value) const {
        Push(value);
        page_set(number_, name);
    }

    template <class... Arguments>
    Value Call(const char* method, const Arguments&... arguments) const {
        (Push(arguments), ...);
        return Value(page_call(number_, method));
    }

    template <class... Arguments>
    [[nodiscard]] Value New(const Arguments&... arguments) const {
        (Push(arguments), ...);
        return Value(page_new(number_));
    }

    [[nodiscard]] bool IsNone() const { return number_ == 0; }
    [[nodiscard]] bool IsText() const { return page_is_text(number_); }
    [[nodiscard]] double Number() const { return page_number(number_); }
    [[nodiscard]] bool Truth() const { return Number() != 0; }
    [[nodiscard]] std::u16string Text() const {
        std::u16string text(page_text_length(number_), u'\0');
        page_text_copy(number_, text.data());
        return text;
    }

private:
    explicit Value(int number) : number_(number) {}

    template <class Number>
    requires std::is_arithmetic_v<Number>
    static void Push(Number number) { page_push_number(double(number)); }
    static void Push(std::string_view text) { page_push_utf8(text.data(), text.size()); }
    static void Push(const char* text) { Push(std::string_view(text)); }
    static void Push(const std::string& text) { Push(std::string_view(text)); }
    static void Push(std::u16string_view text) { page_push_utf16(text.data(), text.size()); }
    static void Push(const std::u16string& text) { Push(std::u16string_view(text)); }
    static void Push(const Value& value) { page_push_value(value.number_); }

    int number_ = 0;
};

}  // namespace forms::web
