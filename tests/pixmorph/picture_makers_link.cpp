// The picture writers are shared with the picture tests.
#include "tests/pictures/picture_makers.cpp"
