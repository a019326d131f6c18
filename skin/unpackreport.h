// A closer look at one decoding: how far the items got and why decoding
// ended. Tools use it to tell a complete stream from a cut-off one, which
// UnpackStream itself accepts.
#pragma once
#include <stdint.h>

enum UnpackEnd {
    UNPACK_COMPLETE = 0,   // the items produced the whole declared size
    UNPACK_INPUT_ENDED,    // the input ran out at an item boundary before that
    UNPACK_ITEM_CUT,       // the input ended inside an item (or after a lone flag byte)
    UNPACK_BAD_REFERENCE,  // a back reference reached before the start of the output
    UNPACK_REFUSED,        // no result: input under 7 bytes, declared size below 3 or
                           // over the cap, or the allocation failed
};

struct UnpackReport {
    UnpackEnd end;
    int32_t declaredSize;  // valid when the input holds at least 4 bytes
    int32_t produced;      // bytes the items wrote (at most declaredSize)
    int32_t consumed;      // input bytes read, from the start of the stream
};

// Largest declared size the decoder accepts; anything above counts as an
// allocation failure. Skin records are a few hundred KiB.
const int32_t kMaxUnpackedSize = 256 * 1024 * 1024;

// UnpackStream, reporting into `report` (may be null). Same result, same
// ownership rules.
bool UnpackStreamReport(const unsigned char* data, int32_t length, UnpackReport* report);

// Name of an end, for tools ("complete", "truncated", ...).
const char* DescribeUnpackEnd(UnpackEnd end);
