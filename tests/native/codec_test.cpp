// Tests of the packed stream codec: exact streams for known inputs, round
// trips, and the decoder's handling of short, stale and malformed streams.
#include "codec.h"
#include "unpackreport.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes FromText(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes FromHex(const char* hex) {
    Bytes out;
    unsigned value;
    int used;
    while (sscanf(hex, " %2x%n", &value, &used) == 1) {
        out.push_back((unsigned char)value);
        hex += used;
    }
    return out;
}

Bytes Pack(const Bytes& input) {
    Bytes out((size_t)PackedBound((int32_t)input.size()));
    int32_t size = PackToMemory(input.data(), (int32_t)input.size(), out.data());
    out.resize(size > 0 ? (size_t)size : 0);
    return out;
}

Bytes Unpacked() {
    return Bytes(unpackedData, unpackedData + unpackedSize);
}

// The encoder as first written: for each position, a scan of every earlier
// position from the most recent remembered one with the same three bytes to
// the window's far end. Kept as the model the fast encoder must equal byte
// for byte.
Bytes ReferencePack(const Bytes& in) {
    const int32_t length = (int32_t)in.size();
    std::unordered_map<uint32_t, int32_t> last;
    auto key = [&](int32_t p) { return (uint32_t)in[p] << 16 | (uint32_t)in[p + 1] << 8 | in[p + 2]; };
    Bytes out = {(unsigned char)length,
                 (unsigned char)(length >> 8),
                 (unsigned char)(length >> 16),
                 (unsigned char)(length >> 24),
                 in[0],
                 in[1],
                 in[2]};
    last[key(0)] = 0;
    for (int32_t i = 3; i < length;) {
        size_t flagPos = out.size();
        out.push_back(0);
        for (int k = 0; k < 8 && i < length; ++k) {
            int32_t best = 0, distance = 0;
            auto found = i < length - 2 ? last.find(key(i)) : last.end();
            if (found != last.end()) {
                int32_t window = std::min(i, 4096);
                for (int32_t d = i - found->second; d <= window; ++d) {
                    int32_t c = i - d, n = 0;
                    while (i + n < length && n < 18 && in[c + n] == in[i + n]) ++n;
                    if (n >= 3 && n > best) {
                        best = n;
                        distance = d;
                        if (n == 18) break;
                    }
                }
            }
            int32_t step = best ? best : 1;
            if (best) {
                out.push_back((unsigned char)((distance - 1) & 0xFF));
                out.push_back((unsigned char)(((best - 3) << 4) | ((distance - 1) >> 8)));
                out[flagPos] |= (unsigned char)(1u << k);
            } else {
                out.push_back(in[i]);
            }
            for (int32_t p = i; p < i + step && p + 2 < length; ++p) last[key(p)] = p;
            i += step;
        }
    }
    return out;
}

struct CodecTest : ::testing::Test {
    void TearDown() override { ReleaseUnpacked(); }
};

// Every input/stream pair below is fixed: the default skin is stored as this
// encoder's output, so any change of choice would show here.
struct KnownStream {
    std::string input;
    const char* stream;
};

TEST_F(CodecTest, KnownInputsPackToExactStreams) {
    const KnownStream cases[] = {
        {"abc", "03 00 00 00 61 62 63"},
        {"aaaa", "04 00 00 00 61 61 61 00 61"},
        {"abcdbcd", "07 00 00 00 61 62 63 00 64 62 63 64"},
        {"abcabcabcabc", "0c 00 00 00 61 62 63 01 02 60"},
        {std::string(30, 'a'), "1e 00 00 00 61 61 61 03 02 f0 00 60"},
        {"abcXabcYabcZabcXabcY", "14 00 00 00 61 62 63 2a 58 03 00 59 03 00 5a 0b 50"},
    };
    for (const KnownStream& c : cases) {
        SCOPED_TRACE(c.input);
        Bytes stream = Pack(FromText(c.input));
        EXPECT_EQ(FromHex(c.stream), stream);
        ASSERT_TRUE(UnpackStream(stream.data(), (int32_t)stream.size()));
        EXPECT_EQ(FromText(c.input), Unpacked());
    }
}

// One decoded item of a stream: a literal (distance 0) or a reference.
struct Item {
    int distance;
    int length;
    unsigned char literal;
};

// Splits a well-formed stream into its items, independently of the decoder.
std::vector<Item> ParseItems(const Bytes& stream) {
    std::vector<Item> items;
    size_t ip = 7;
    while (ip < stream.size()) {
        unsigned flags = stream[ip++];
        for (int bit = 0; bit < 8 && ip < stream.size(); ++bit) {
            if (flags & (1u << bit)) {
                int b1 = stream[ip], b2 = stream[ip + 1];
                items.push_back({((b2 & 0x0F) << 8 | b1) + 1, (b2 >> 4) + 3, 0});
                ip += 2;
            } else {
                items.push_back({0, 1, stream[ip++]});
            }
        }
    }
    return items;
}

// A sequence 4096 bytes back is still in the window; 4097 bytes back is not.
TEST_F(CodecTest, WindowReachesExactly4096Back) {
    // "xyz", then bytes that hold no x, y or z, then "xyz" at distance D.
    for (int distance : {4096, 4097}) {
        SCOPED_TRACE(distance);
        Bytes input = FromText("xyz");
        std::mt19937 rng(7);
        while ((int)input.size() < distance) input.push_back((unsigned char)('0' + rng() % 40));  // '0'..'W'
        input.push_back('x');
        input.push_back('y');
        input.push_back('z');
        Bytes stream = Pack(input);
        std::vector<Item> items = ParseItems(stream);
        ASSERT_GE(items.size(), 3u);
        const Item& last = items.back();
        if (distance == 4096) {
            EXPECT_EQ(4096, last.distance);
            EXPECT_EQ(3, last.length);
            EXPECT_EQ(0xFF, stream[stream.size() - 2]);
            EXPECT_EQ(0x0F, stream[stream.size() - 1]);
        } else {
            for (int k = 0; k < 3; ++k) {
                const Item& item = items[items.size() - 3 + k];
                EXPECT_EQ(0, item.distance);
                EXPECT_EQ("xyz"[k], item.literal);
            }
        }
        ASSERT_TRUE(UnpackStream(stream.data(), (int32_t)stream.size()));
        EXPECT_EQ(input, Unpacked());
    }
}

// A match found three bytes before the end stops there: length 3, and the
// last two positions are always literals.
TEST_F(CodecTest, MatchesNeverRunPastTheInput) {
    Bytes input = FromText("abcdefabc");  // "abc" again at L - 3
    EXPECT_EQ(FromHex("09 00 00 00 61 62 63 08 64 65 66 05 00"), Pack(input));

    // A run ending the input: the reference stops exactly at its end.
    Bytes run = FromText(
        "abcdefgh"
        "abcdefgh");
    Bytes stream = Pack(run);
    // 16 bytes: abc, literals d..h, then one reference of length 8, distance 8.
    EXPECT_EQ(FromHex("10 00 00 00 61 62 63 20 64 65 66 67 68 07 50"), stream);

    // Two bytes left after a position never form a reference, even if they
    // repeat: "abcab" ends with literals.
    EXPECT_EQ(FromHex("05 00 00 00 61 62 63 00 61 62"), Pack(FromText("abcab")));
}

TEST_F(CodecTest, RoundTripsOnVariedInputs) {
    std::mt19937 rng(12345);
    std::vector<Bytes> inputs;
    inputs.push_back(FromText("xyz"));
    inputs.push_back(Bytes(5000, 0));
    inputs.push_back(Bytes(70000, 0xFF));
    Bytes random(100000);
    for (auto& b : random) b = (unsigned char)rng();
    inputs.push_back(random);
    Bytes text;
    const char* words[] = {"skin ", "monitor ", "pane ", "\r\n", "ぬぺろ", "bitmap "};
    while (text.size() < 200000) {
        const char* w = words[rng() % 6];
        text.insert(text.end(), w, w + strlen(w));
    }
    inputs.push_back(text);
    Bytes mixed;
    for (int block = 0; block < 200; ++block) {
        int kind = rng() % 3;
        int n = 1 + rng() % 600;
        for (int k = 0; k < n; ++k)
            mixed.push_back(kind == 0   ? (unsigned char)rng()
                            : kind == 1 ? (unsigned char)(block & 0xFF)
                                        : (unsigned char)("0123"[k % 4]));
    }
    inputs.push_back(mixed);
    for (int len = 3; len < 64; ++len) {
        Bytes small(len);
        for (auto& b : small) b = (unsigned char)("ab"[rng() % 2]);
        inputs.push_back(small);
    }

    for (const Bytes& input : inputs) {
        SCOPED_TRACE(input.size());
        Bytes stream = Pack(input);
        ASSERT_FALSE(stream.empty());
        EXPECT_LE((int64_t)stream.size(), PackedBound((int32_t)input.size()));
        EXPECT_EQ(stream, Pack(input)) << "packing twice must give the same stream";
        UnpackReport report;
        ASSERT_TRUE(UnpackStreamReport(stream.data(), (int32_t)stream.size(), &report));
        EXPECT_EQ(input, Unpacked());
        EXPECT_EQ(UNPACK_COMPLETE, report.end);
        EXPECT_EQ((int32_t)stream.size(), report.consumed);
    }
}

// Packing clears only the table entries it wrote; every stream must equal
// the one a packing from a freshly filled table gives, whatever was packed
// before it (small and large inputs in turn, sharing and not sharing keys),
// and the one the first encoder's full scan gives.
TEST_F(CodecTest, PackingAfterOtherPackingsEqualsPackingFromAClearTable) {
    std::mt19937 rng(777);
    std::vector<Bytes> inputs;
    for (size_t size : {3u, 4u, 100u, 1024u, 4097u, 65536u, (1u << 18) + 1, 300000u, 17u, 2048u}) {
        Bytes input(size);
        int alphabet = 2 + (int)(rng() % 200);
        for (auto& b : input) b = (unsigned char)(rng() % alphabet);
        inputs.push_back(input);
    }
    std::vector<Bytes> fresh;
    for (const Bytes& input : inputs) {
        ResetPackTable();
        fresh.push_back(Pack(input));
        EXPECT_EQ(fresh.back(), ReferencePack(input)) << input.size() << " bytes: the first encoder's stream";
    }
    for (int round = 0; round < 2; ++round) {
        for (size_t k = 0; k < inputs.size(); ++k) {
            size_t pick = round ? inputs.size() - 1 - k : k;
            SCOPED_TRACE(inputs[pick].size());
            EXPECT_EQ(Pack(inputs[pick]), fresh[pick]);
        }
    }
}

TEST_F(CodecTest, IncompressibleInputReachesTheBoundExactly) {
    // Distinct 3-byte sequences only: all literals, so the bound is met.
    Bytes input;
    for (int i = 0; i < 256; ++i) input.push_back((unsigned char)i);
    Bytes stream = Pack(input);
    EXPECT_EQ(PackedBound(256), (int64_t)stream.size());
    EXPECT_EQ(7 + 253 + 32, PackedBound(256));
}

TEST_F(CodecTest, StaleBytesAfterAStreamAreIgnored) {
    Bytes input = FromText("abcabcabcabc and some more text, and some more");
    Bytes stream = Pack(input);
    Bytes withTail = stream;
    for (int i = 0; i < 100; ++i) withTail.push_back((unsigned char)(0xA5 ^ i));
    UnpackReport report;
    ASSERT_TRUE(UnpackStreamReport(withTail.data(), (int32_t)withTail.size(), &report));
    EXPECT_EQ(input, Unpacked());
    EXPECT_EQ(UNPACK_COMPLETE, report.end);
    EXPECT_EQ((int32_t)stream.size(), report.consumed);
}

TEST_F(CodecTest, ShortStreamLeavesTheRestZero) {
    Bytes input = FromText("hello world, hello world");
    Bytes stream = Pack(input);
    // Declare 10 more bytes than the items give.
    stream[0] = (unsigned char)(input.size() + 10);
    UnpackReport report;
    ASSERT_TRUE(UnpackStreamReport(stream.data(), (int32_t)stream.size(), &report));
    Bytes expected = input;
    expected.resize(input.size() + 10, 0);
    EXPECT_EQ(expected, Unpacked());
    EXPECT_EQ(UNPACK_INPUT_ENDED, report.end);
    EXPECT_EQ((int32_t)input.size(), report.produced);

    // The 7-byte head alone with a larger declared size.
    Bytes head = FromHex("08 00 00 00 41 42 43");
    ASSERT_TRUE(UnpackStream(head.data(), (int32_t)head.size()));
    EXPECT_EQ(FromHex("41 42 43 00 00 00 00 00"), Unpacked());
}

TEST_F(CodecTest, ReferencePastTheDeclaredSizeStopsAtIt) {
    // "abc" then a reference of distance 3, length 9, but only 7 declared.
    Bytes stream = FromHex("07 00 00 00 61 62 63 01 02 60 7a 7a 7a");
    UnpackReport report;
    ASSERT_TRUE(UnpackStreamReport(stream.data(), (int32_t)stream.size(), &report));
    EXPECT_EQ(FromText("abcabca"), Unpacked());
    EXPECT_EQ(UNPACK_COMPLETE, report.end);
    EXPECT_EQ(10, report.consumed);  // the trailing bytes were not read
}

TEST_F(CodecTest, RefusedStreamsKeepThePreviousResult) {
    Bytes good = Pack(FromText("previous result"));
    ASSERT_TRUE(UnpackStream(good.data(), (int32_t)good.size()));
    unsigned char* before = unpackedData;

    const char* refused[] = {
        "",                      // nothing
        "05 00 00",              // not even a size
        "05 00 00 00 61 62",     // under 7 bytes
        "02 00 00 00 61 62 63",  // declared size below 3
        "00 00 00 00 61 62 63",
        "ff ff ff ff 61 62 63",        // negative
        "00 00 00 80 61 62 63",        // most negative
        "01 00 00 10 61 62 63",        // just over the 256 MiB cap
        "ff ff ff 7f 61 62 63 00 61",  // 2 GiB
    };
    for (const char* hex : refused) {
        SCOPED_TRACE(hex);
        Bytes stream = FromHex(hex);
        // Copy into an exact-size heap block so ASan sees any overread.
        unsigned char* exact = (unsigned char*)malloc(stream.size() + 1);
        if (!stream.empty()) memcpy(exact, stream.data(), stream.size());
        UnpackReport report;
        EXPECT_FALSE(UnpackStreamReport(exact, (int32_t)stream.size(), &report));
        EXPECT_EQ(UNPACK_REFUSED, report.end);
        free(exact);
        EXPECT_EQ(before, unpackedData);
        EXPECT_EQ(FromText("previous result"), Unpacked());
    }
}

TEST_F(CodecTest, MalformedItemsStopSafelyKeepingWhatWasProduced) {
    struct Case {
        const char* stream;
        const char* result;
        UnpackEnd end;
    } cases[] = {
        // A flag byte with no item after it.
        {"06 00 00 00 61 62 63 00", "61 62 63 00 00 00", UNPACK_ITEM_CUT},
        // A reference missing its second byte.
        {"08 00 00 00 61 62 63 02 64 00", "61 62 63 64 00 00 00 00", UNPACK_ITEM_CUT},
        // A reference reaching before the start: distance 5 at output 3.
        {"08 00 00 00 61 62 63 01 04 00 64", "61 62 63 00 00 00 00 00", UNPACK_BAD_REFERENCE},
        // The farthest distance at output 4.
        {"10 00 00 00 61 62 63 02 64 ff ff", "61 62 63 64 00 00 00 00 00 00 00 00 00 00 00 00", UNPACK_BAD_REFERENCE},
        // A distance exactly reaching output 0 is fine.
        {"06 00 00 00 61 62 63 01 02 00", "61 62 63 61 62 63", UNPACK_COMPLETE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stream);
        Bytes stream = FromHex(c.stream);
        unsigned char* exact = (unsigned char*)malloc(stream.size());
        memcpy(exact, stream.data(), stream.size());
        UnpackReport report;
        EXPECT_TRUE(UnpackStreamReport(exact, (int32_t)stream.size(), &report));
        free(exact);
        EXPECT_EQ(FromHex(c.result), Unpacked());
        EXPECT_EQ(c.end, report.end);
    }
}

TEST_F(CodecTest, UnpacksItsOwnResultInPlace) {
    Bytes record = FromText("the record inside, the record inside, the record inside!");
    Bytes inner = Pack(record);
    Bytes outer = Pack(inner);
    ReleaseUnpacked();
    ASSERT_TRUE(UnpackStream(outer.data(), (int32_t)outer.size()));
    EXPECT_EQ(inner, Unpacked());
    ASSERT_TRUE(UnpackStream(unpackedData, unpackedSize));
    EXPECT_EQ(record, Unpacked());
}

TEST_F(CodecTest, ReleaseIsSafeWhenEmpty) {
    ReleaseUnpacked();
    ReleaseUnpacked();
    EXPECT_EQ(nullptr, unpackedData);
    EXPECT_EQ(0, unpackedSize);
}

TEST_F(CodecTest, PackingRefusesFewerThanThreeBytes) {
    unsigned char out[16];
    memset(out, 0xCC, sizeof out);
    const unsigned char two[2] = {'a', 'b'};
    EXPECT_EQ(0, PackToMemory(two, 2, out));
    EXPECT_EQ(0xCC, out[0]) << "nothing written";
    EXPECT_EQ(0, PackToMemory(two, 0, out));
}

std::string TempPath(const char* name) {
    char templ[] = "/tmp/codec_test_XXXXXX";
    const char* dir = mkdtemp(templ);
    return std::string(dir ? dir : "/tmp") + "/" + name;
}

Bytes ReadFile(const std::string& path) {
    Bytes out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return out;
    int c;
    while ((c = fgetc(f)) != EOF) out.push_back((unsigned char)c);
    fclose(f);
    return out;
}

TEST_F(CodecTest, PackToFileWritesTheSameStreamInPlace) {
    std::string path = TempPath("skin.msk");
    Bytes longInput(4000);
    std::mt19937 rng(3);
    for (auto& b : longInput) b = (unsigned char)rng();
    ASSERT_TRUE(PackToFile(path.c_str(), longInput.data(), (int32_t)longInput.size()));
    Bytes longStream = Pack(longInput);
    EXPECT_EQ(longStream, ReadFile(path));

    // Saving a shorter stream over it keeps the old tail; loading ignores it.
    Bytes shortInput = FromText("abcabcabcabc");
    ASSERT_TRUE(PackToFile(path.c_str(), shortInput.data(), (int32_t)shortInput.size()));
    Bytes onDisk = ReadFile(path);
    Bytes shortStream = Pack(shortInput);
    ASSERT_EQ(longStream.size(), onDisk.size());
    EXPECT_TRUE(std::equal(shortStream.begin(), shortStream.end(), onDisk.begin()));
    EXPECT_TRUE(
        std::equal(longStream.begin() + shortStream.size(), longStream.end(), onDisk.begin() + shortStream.size()));
    ASSERT_TRUE(UnpackStream(onDisk.data(), (int32_t)onDisk.size()));
    EXPECT_EQ(shortInput, Unpacked());

    // Too little input: refused, the file untouched.
    EXPECT_FALSE(PackToFile(path.c_str(), shortInput.data(), 2));
    EXPECT_EQ(onDisk, ReadFile(path));
    unlink(path.c_str());
}

TEST_F(CodecTest, PackToFileFailsWhenTheFileCannotBeOpened) {
    Bytes input = FromText("abcdef");
    EXPECT_FALSE(PackToFile("/nonexistent-dir/x/skin.msk", input.data(), (int32_t)input.size()));
    std::string dir = TempPath("");
    EXPECT_FALSE(PackToFile(dir.c_str(), input.data(), (int32_t)input.size())) << "a directory";
}

}  // namespace
