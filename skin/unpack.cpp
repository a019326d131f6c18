// Decoder of the packed stream format, and the codec's current result.
//
// Malformed input never makes the decoder leave its buffers:
//  - under 7 bytes (no room for the size and the three verbatim bytes), a
//    declared size below 3 (the verbatim bytes would not fit) or above
//    kMaxUnpackedSize: refused like a failed allocation, previous result kept;
//  - a back reference reaching before the start of the output, or a last item
//    cut off by the end of the input: decoding stops there and the bytes
//    produced so far are kept, the rest stays zero, exactly as for a stream
//    that simply runs out early.
#include "bytes.h"
#include "codec.h"
#include "platform.h"
#include "unpackreport.h"

#include <stddef.h>

unsigned char* unpackedData = nullptr;
int32_t unpackedSize = 0;

static const int32_t kStreamHead = PACK_STREAM_HEAD;

static int32_t ReadSize(const unsigned char* p) {
    return (int32_t)GetLe32(p);
}

void ReleaseUnpacked() {
    if (unpackedData) HeapRelease(unpackedData);
    unpackedData = nullptr;
    unpackedSize = 0;
}

// Runs the items of `data` into `out` (size bytes, the first three already
// written). Returns why it stopped; fills produced and consumed.
static UnpackEnd DecodeItems(const unsigned char* data, int32_t length, unsigned char* out, int32_t size,
                             int32_t* produced, int32_t* consumed) {
    int32_t ip = kStreamHead;
    int32_t op = 3;
    UnpackEnd end = UNPACK_INPUT_ENDED;
    while (ip < length && op < size) {
        unsigned flags = data[ip++];
        for (int bit = 0; bit < 8; ++bit) {
            if (ip >= length) {  // a flag byte with no item after it
                end = UNPACK_ITEM_CUT;
                goto done;
            }
            if (flags & (1u << bit)) {
                if (length - ip < 2) {  // reference missing its second byte
                    end = UNPACK_ITEM_CUT;
                    goto done;
                }
                unsigned b1 = data[ip], b2 = data[ip + 1];
                int32_t distance = (int32_t)(((b2 & 0x0Fu) << 8) | b1) + 1;
                int32_t count = (int32_t)(b2 >> 4) + PACK_MIN_MATCH;
                if (distance > op) {
                    end = UNPACK_BAD_REFERENCE;
                    goto done;
                }
                ip += 2;
                // One byte at a time, forwards: overlapping copies repeat.
                for (int32_t k = 0; k < count && op + k < size; ++k) out[op + k] = out[op + k - distance];
                op += count;
            } else {
                out[op++] = data[ip++];
            }
            if (ip >= length || op >= size) break;
        }
    }
done:
    if (op >= size) {
        op = size;
        end = UNPACK_COMPLETE;
    }
    *produced = op;
    *consumed = ip;
    return end;
}

bool UnpackStreamReport(const unsigned char* data, int32_t length, UnpackReport* report) {
    UnpackReport local;
    UnpackReport* r = report ? report : &local;
    r->end = UNPACK_REFUSED;
    r->declaredSize = 0;
    r->produced = 0;
    r->consumed = 0;
    if (!data || length < 4) return false;
    int32_t size = ReadSize(data);
    r->declaredSize = size;
    if (length < kStreamHead || size < 3 || size > kMaxUnpackedSize) return false;

    unsigned char* out = (unsigned char*)HeapAllocZero((size_t)size);
    if (!out) return false;
    out[0] = data[4];
    out[1] = data[5];
    out[2] = data[6];
    r->end = DecodeItems(data, length, out, size, &r->produced, &r->consumed);

    // Only now may the old result go: `data` may have been that very buffer.
    ReleaseUnpacked();
    unpackedData = out;
    unpackedSize = size;
    return true;
}

bool UnpackStream(const unsigned char* data, int32_t length) {
    return UnpackStreamReport(data, length, nullptr);
}

const char* DescribeUnpackEnd(UnpackEnd end) {
    switch (end) {
    case UNPACK_COMPLETE:
        return "complete";
    case UNPACK_INPUT_ENDED:
        return "truncated (input ends before the declared size)";
    case UNPACK_ITEM_CUT:
        return "truncated (last item cut off)";
    case UNPACK_BAD_REFERENCE:
        return "corrupt (back reference before the start of the output)";
    case UNPACK_REFUSED:
        return "not a packed stream (too short or impossible size)";
    }
    return "unknown";
}
