// Compiled against one library's include folders with the header named by
// KIV_LAYER_INCLUDE: a header of its own layer or a lower one must be found,
// one of a higher layer must not.
#include KIV_LAYER_INCLUDE
