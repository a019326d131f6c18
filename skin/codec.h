// The packed stream codec: the one compression format of skin files.
// A stream is a 4-byte declared size, three verbatim bytes, then groups of a
// flag byte and up to eight items (a literal byte, or a 2-byte back reference
// into the last 4096 bytes of output).
#pragma once
#include <stdint.h>

// The format's fixed sizes, shared by the encoder and the decoder.
#define PACK_STREAM_HEAD 7     // declared size + three verbatim bytes
#define PACK_WINDOW      4096  // how far back a reference reaches
#define PACK_MIN_MATCH   3     // a reference's length is 4 bits + this
#define PACK_MAX_MATCH   18

// The current unpacked result. One process-wide buffer, owned by the codec:
// UnpackStream replaces it, ReleaseUnpacked empties it.
extern unsigned char* unpackedData;
extern int32_t unpackedSize;

// Unpacks one stream of `length` bytes into the current result. `data` may be
// the current result itself: the old buffer is freed only after the new one is
// complete. False only when the result buffer cannot be allocated (which
// includes a negative or absurd declared size); the previous result then stays.
bool UnpackStream(const unsigned char* data, int32_t length);

// Frees the current result, if any. Safe to call when nothing is held.
void ReleaseUnpacked();

// Worst-case size of the stream that packing `length` bytes gives.
int64_t PackedBound(int32_t length);

// Packs `length` bytes into `out`, which holds at least PackedBound(length)
// bytes, and returns the stream's size. Byte-identical to what PackToFile
// writes. Uses the 64 MiB last-position table, so only programs that pack
// carry it.
int32_t PackToMemory(const unsigned char* data, int32_t length, unsigned char* out);

// Clears the whole last-position table, as every packing once began by
// doing. Packing leaves it clear by itself; the tests call this to compare
// against a packing that starts from a plain fill.
void ResetPackTable();

// Packs `length` bytes and writes the stream as the content of `path`
// (created if absent; an existing file is not truncated, so a longer old file
// keeps its tail, which readers ignore). False when the output buffer cannot
// be allocated, the file cannot be opened, or the write is short.
bool PackToFile(const char* path, const unsigned char* data, int32_t length);
