// The conversion core alone: the entry's seven characters into the slots, then the slots into
// the seven column updates, as one key press and one click on the head ask of it.
#include <benchmark/benchmark.h>

#include <string_view>

#include "conversion/digit_slots.h"

namespace {

void UpdateAndConvertSevenSlots(benchmark::State& state) {
    conversion::DigitSlots slots{};
    constexpr std::u16string_view Entry = u"8294015";
    while (state.KeepRunning()) {
        conversion::UpdateDigitSlots(slots, Entry);
        benchmark::DoNotOptimize(slots);
        auto updates = conversion::ConvertDigitSlots(slots);
        benchmark::DoNotOptimize(updates);
    }
}
BENCHMARK(UpdateAndConvertSevenSlots)->Unit(benchmark::kNanosecond);

}  // namespace

BENCHMARK_MAIN();
