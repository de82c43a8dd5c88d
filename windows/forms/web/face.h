// The metrics of a face that the page carries itself: the Windows ones its lines are spaced by, and
// how bold it draws. Its file is apart, so that only what draws with the face carries it.
#pragma once

namespace forms::web {

struct Face {
    int unitsPerEm;
    int winAscent;
    int winDescent;
    int stemWidth;  // of "l", for how bold the face's bold texts come out
};

}  // namespace forms::web
