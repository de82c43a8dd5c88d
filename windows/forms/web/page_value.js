// The page's side of page_value.h: the values that the program holds, each under a number, and the
// few things it does with them. Null and undefined are number 0 and never kept.
mergeInto(LibraryManager.library, {
    $pageValues: [],
    $pageFree: [],
    $pageArguments: [],

    $pageKeep__deps: ["$pageValues", "$pageFree"],
    $pageKeep: function (value) {
        if (value == null) return 0;
        const number = pageFree.length ? pageFree.pop() : Math.max(pageValues.length, 1);
        pageValues[number] = value;
        return number;
    },

    $pageTakeArguments__deps: ["$pageArguments"],
    $pageTakeArguments: function () {
        return pageArguments.splice(0);
    },

    page_release__deps: ["$pageValues", "$pageFree"],
    page_release: function (number) {
        if (number) {
            pageValues[number] = undefined;
            pageFree.push(number);
        }
    },

    page_copy__deps: ["$pageKeep"],
    page_copy: function (number) {
        return pageKeep(pageValues[number]);
    },

    page_global__deps: ["$pageKeep"],
    page_global: function () {
        return pageKeep(globalThis);
    },

    page_get__deps: ["$pageKeep"],
    page_get: function (number, name) {
        return pageKeep(pageValues[number][UTF8ToString(name)]);
    },

    page_set__deps: ["$pageValues", "$pageTakeArguments"],
    page_set: function (number, name) {
        pageValues[number][UTF8ToString(name)] = pageTakeArguments()[0];
    },

    page_call__deps: ["$pageKeep", "$pageTakeArguments"],
    page_call: function (number, name) {
        const value = pageValues[number];
        return pageKeep(value[UTF8ToString(name)].apply(value, pageTakeArguments()));
    },

    page_new__deps: ["$pageKeep", "$pageTakeArguments"],
    page_new: function (number) {
        return pageKeep(new pageValues[number](...pageTakeArguments()));
    },

    page_push_number__deps: ["$pageArguments"],
    page_push_number: function (number) {
        pageArguments.push(number);
    },

    page_push_value__deps: ["$pageArguments"],
    page_push_value: function (number) {
        pageArguments.push(pageValues[number]);
    },

    page_push_utf8__deps: ["$pageArguments"],
    page_push_utf8: function (text, bytes) {
        pageArguments.push(UTF8ToString(text, bytes));
    },

    // A text of UTF-16 code units, lone surrogates too, which a decoder would replace.
    page_push_utf16__deps: ["$pageArguments"],
    page_push_utf16: function (text, length) {
        const units = HEAPU16.subarray(text >> 1, (text >> 1) + length);
        let joined = "";
        for (let at = 0; at < units.length; at += 4096) joined += String.fromCharCode(...units.subarray(at, at + 4096));
        pageArguments.push(joined);
    },

    page_number: function (number) {
        return Number(pageValues[number]);
    },

    page_is_text: function (number) {
        return typeof pageValues[number] == "string";
    },

    page_text_length: function (number) {
        return String(pageValues[number]).length;
    },

    page_text_copy: function (number, units) {
        const text = String(pageValues[number]);
        for (let at = 0; at < text.length; ++at) HEAPU16[(units >> 1) + at] = text.charCodeAt(at);
    },

    // A function of the page that calls the program's callback of that number with its argument.
    page_function__deps: ["$pageKeep"],
    page_function: function (callback) {
        return pageKeep(argument => _forms_call_back(callback, pageKeep(argument)));
    },

    // A copy, which stays whole whatever the program's memory does.
    page_bytes__deps: ["$pageKeep"],
    page_bytes: function (bytes, length) {
        return pageKeep(HEAPU8.slice(bytes, bytes + length));
    },

    // The promise of an ImageBitmap of a picture file's bytes.
    page_picture__deps: ["$pageKeep"],
    page_picture: function (bytes) {
        return pageKeep(createImageBitmap(new Blob([pageValues[bytes]])));
    },

    page_add_face: function (family, weight, bytes, length) {
        document.fonts.add(new FontFace(UTF8ToString(family), HEAPU8.slice(bytes, bytes + length), {weight: String(weight)}));
    },

    // The promise of every face of the page read, those of its style and those the program added.
    page_faces_read__deps: ["$pageKeep"],
    page_faces_read: function () {
        return pageKeep(Promise.all([...document.fonts].map(face => face.load())));
    },
});
