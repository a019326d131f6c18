// Draws the built-in default skin (a speech balloon beside a standing figure)
// and the programs' icons. Shapes are filled into a mask by testing each pixel
// centre in half-pixel integer units; a mask is then painted with a flat fill
// and a dark rim wherever the mask ends, which gives the outlined, flat look
// and keeps every build byte-identical (no floating point, no randomness).
#include "defaultskin_art.h"

#include <string.h>

#include "bytes.h"
#include "codec.h"
#include "recordbuild.h"
#include "skinfile.h"

namespace {

// One index per pixel, rows from the top.
struct Surface {
    int width;
    int height;
    std::vector<unsigned char> pixels;
};

// A shape being built: 1 where the shape covers a pixel.
struct Mask {
    int width;
    int height;
    std::vector<unsigned char> bits;
};

// Drawing units are whole pixels; tests are made in half pixels so that a
// pixel's centre has integer coordinates.
int Half(int v) {
    return v * 2;
}

void InitSurface(Surface* s, int width, int height, unsigned char background) {
    s->width = width;
    s->height = height;
    s->pixels.assign((size_t)width * height, background);
}

void InitMask(Mask* m, int width, int height) {
    m->width = width;
    m->height = height;
    m->bits.assign((size_t)width * height, 0);
}

// Filled ellipse around (cx, cy) with radii rx, ry (drawing units).
void AddEllipse(Mask* m, int cx, int cy, int rx, int ry) {
    const int64_t hx = Half(cx), hy = Half(cy), ax = Half(rx), ay = Half(ry);
    const int64_t limit = ax * ax * ay * ay;
    for (int y = 0; y < m->height; y++) {
        const int64_t dy = 2 * y + 1 - hy;
        if (dy * dy > ay * ay) continue;
        for (int x = 0; x < m->width; x++) {
            const int64_t dx = 2 * x + 1 - hx;
            if (dx * dx * ay * ay + dy * dy * ax * ax <= limit) m->bits[(size_t)y * m->width + x] = 1;
        }
    }
}

int64_t Clamp(int64_t v, int64_t low, int64_t high) {
    return v < low ? low : (v > high ? high : v);
}

// Filled rectangle [left, right) x [top, bottom) with corners of `radius`.
void AddRoundRect(Mask* m, int left, int top, int right, int bottom, int radius) {
    const int64_t l = Half(left), t = Half(top), r = Half(right), b = Half(bottom), rad = Half(radius);
    for (int y = 0; y < m->height; y++) {
        const int64_t py = 2 * y + 1;
        if (py <= t || py >= b) continue;
        for (int x = 0; x < m->width; x++) {
            const int64_t px = 2 * x + 1;
            if (px <= l || px >= r) continue;
            const int64_t dx = px - Clamp(px, l + rad, r - rad);
            const int64_t dy = py - Clamp(py, t + rad, b - rad);
            if (dx * dx + dy * dy <= rad * rad) m->bits[(size_t)y * m->width + x] = 1;
        }
    }
}

int64_t FloorDiv(int64_t a, int64_t b) {
    if (b < 0) {
        a = -a;
        b = -b;
    }
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// Filled polygon of `count` points (x, y pairs), even-odd rule. Crossings
// are kept in 1/256 half-pixel steps so no floating point is needed.
void AddPolygon(Mask* m, const int* xy, int count) {
    enum { MAX_CROSSINGS = 32 };
    for (int y = 0; y < m->height; y++) {
        const int64_t py = 2 * y + 1;
        int64_t cross[MAX_CROSSINGS];
        int n = 0;
        for (int i = 0; i < count && n < MAX_CROSSINGS; i++) {
            const int j = (i + 1) % count;
            const int64_t x0 = Half(xy[2 * i]), y0 = Half(xy[2 * i + 1]);
            const int64_t x1 = Half(xy[2 * j]), y1 = Half(xy[2 * j + 1]);
            if ((y0 <= py) == (y1 <= py)) continue;
            cross[n++] = x0 * 256 + FloorDiv((py - y0) * (x1 - x0) * 256, y1 - y0);
        }
        for (int i = 1; i < n; i++) {  // insertion sort: a handful of crossings
            const int64_t v = cross[i];
            int k = i - 1;
            while (k >= 0 && cross[k] > v) {
                cross[k + 1] = cross[k];
                k--;
            }
            cross[k + 1] = v;
        }
        for (int i = 0; i + 1 < n; i += 2) {
            for (int x = 0; x < m->width; x++) {
                const int64_t px = (2 * x + 1) * 256;
                if (px >= cross[i] && px < cross[i + 1]) m->bits[(size_t)y * m->width + x] = 1;
            }
        }
    }
}

// The same polygon reflected about the vertical line x = axis.
void AddMirroredPolygon(Mask* m, const int* xy, int count, int axis) {
    int copy[64];
    for (int i = 0; i < count && i < 32; i++) {
        copy[2 * i] = 2 * axis - xy[2 * i];
        copy[2 * i + 1] = xy[2 * i + 1];
    }
    AddPolygon(m, copy, count < 32 ? count : 32);
}

// Keeps only what `keep` also covers.
void ClipMask(Mask* m, const Mask& keep) {
    for (size_t i = 0; i < m->bits.size(); i++) m->bits[i] &= keep.bits[i];
}

void ClearMask(Mask* m) {
    m->bits.assign(m->bits.size(), 0);
}

bool Covered(const Mask& m, int x, int y) {
    if (x < 0 || y < 0 || x >= m.width || y >= m.height) return false;
    return m.bits[(size_t)y * m.width + x] != 0;
}

// Paints the mask: `line` on every pixel within `lineWidth` of the mask's
// edge (the image border counts as an edge), `fill` elsewhere. Empties the
// mask for the next shape.
void PaintMask(Surface* s, Mask* m, unsigned char fill, unsigned char line, int lineWidth) {
    for (int y = 0; y < m->height; y++) {
        for (int x = 0; x < m->width; x++) {
            if (!Covered(*m, x, y)) continue;
            bool edge = false;
            for (int dy = -lineWidth; dy <= lineWidth && !edge; dy++)
                for (int dx = -lineWidth; dx <= lineWidth && !edge; dx++)
                    if (dx * dx + dy * dy <= lineWidth * lineWidth && !Covered(*m, x + dx, y + dy)) edge = true;
            s->pixels[(size_t)y * s->width + x] = edge ? line : fill;
        }
    }
    ClearMask(m);
}

void Put16(std::vector<unsigned char>* out, unsigned v) {
    out->push_back((unsigned char)(v & 0xFF));
    out->push_back((unsigned char)((v >> 8) & 0xFF));
}

void Put32(std::vector<unsigned char>* out, uint32_t v) {
    unsigned char field[4];
    PutLe32(field, v);
    out->insert(out->end(), field, field + 4);
}

// BITMAPINFOHEADER fields in file order.
void PutInfoHeader(std::vector<unsigned char>* out, int width, int height, int bits, uint32_t imageSize,
                   uint32_t pixelsPerMetre) {
    Put32(out, 40);
    Put32(out, (uint32_t)width);
    Put32(out, (uint32_t)height);
    Put16(out, 1);
    Put16(out, (unsigned)bits);
    Put32(out, 0);  // BI_RGB
    Put32(out, imageSize);
    Put32(out, pixelsPerMetre);
    Put32(out, pixelsPerMetre);
    Put32(out, 0);  // colours used: all of the table
    Put32(out, 0);  // colours important: all
}

// ---- The default skin ------------------------------------------------------

// Colour-table entries of the picture, as red, green, blue.
enum {
    C_BLACK = 0,
    C_KEY = SKIN_ART_KEY,
    C_BALLOON = SKIN_ART_BALLOON,
    C_BALLOON_LINE,
    C_LINE,
    C_SKIN,
    C_HAIR,
    C_EYE,
    C_WHITE,
    C_CHEEK,
    C_MOUTH,
    C_DRESS,
    C_DRESS_DARK,
    C_RIBBON,
    C_SHOE,
    C_SOCK,
    C_COLOURS
};

const unsigned char skinColours[C_COLOURS][3] = {
    {0, 0, 0},        // black
    {0, 255, 0},      // transparent key
    {255, 223, 255},  // balloon fill, the text pane's background
    {205, 120, 180},  // balloon rim
    {60, 40, 56},     // figure outlines
    {255, 230, 212},  // skin
    {132, 82, 150},   // hair
    {64, 104, 184},   // eyes
    {255, 255, 255},  // white
    {250, 176, 190},  // cheeks
    {214, 78, 100},   // mouth
    {92, 140, 212},   // dress
    {62, 98, 168},    // dress hem
    {236, 84, 112},   // ribbons
    {120, 76, 60},    // shoes
    {246, 246, 250},  // socks
};

Mask shape;
Mask clip;

void DrawBalloon(Surface* s) {
    // The body covers the text rectangle (3, 3)-(249, 290) with room for its
    // rim; the tail points at the figure's face.
    AddRoundRect(&shape, 0, 0, 254, 295, 8);
    static const int tail[] = {244, 58, 276, 112, 244, 100};
    AddPolygon(&shape, tail, 3);
    PaintMask(s, &shape, C_BALLOON, C_BALLOON_LINE, 2);
}

void DrawBody(Surface* s) {
    const int axis = 332;  // the figure stands symmetric about this column
    // Long hair behind everything.
    AddEllipse(&shape, axis, 80, 56, 54);
    AddRoundRect(&shape, 282, 64, 382, 198, 28);
    PaintMask(s, &shape, C_HAIR, C_LINE, 2);

    // Legs, socks and shoes.
    AddRoundRect(&shape, 314, 250, 328, 316, 4);
    AddRoundRect(&shape, 336, 250, 350, 316, 4);
    PaintMask(s, &shape, C_SKIN, C_LINE, 2);
    AddRoundRect(&shape, 313, 294, 329, 318, 3);
    AddRoundRect(&shape, 335, 294, 351, 318, 3);
    PaintMask(s, &shape, C_SOCK, C_LINE, 2);
    AddEllipse(&shape, 319, 320, 13, 8);
    AddEllipse(&shape, 345, 320, 13, 8);
    PaintMask(s, &shape, C_SHOE, C_LINE, 2);

    // Neck.
    AddRoundRect(&shape, 324, 124, 340, 158, 0);
    PaintMask(s, &shape, C_SKIN, C_LINE, 2);

    // Dress: a flared body with round shoulders, a darker hem band.
    static const int dress[] = {306, 148, 358, 148, 378, 262, 286, 262};
    AddPolygon(&shape, dress, 4);
    AddRoundRect(&shape, 300, 146, 364, 174, 12);
    PaintMask(s, &shape, C_DRESS, C_LINE, 2);
    static const int hem[] = {289, 244, 375, 244, 378, 262, 286, 262};
    AddPolygon(&shape, hem, 4);
    PaintMask(s, &shape, C_DRESS_DARK, C_LINE, 2);

    // Collar, the neck opening and a ribbon at the chest.
    static const int collar[] = {308, 147, 356, 147, 332, 184};
    AddPolygon(&shape, collar, 3);
    PaintMask(s, &shape, C_WHITE, C_LINE, 2);
    static const int opening[] = {322, 147, 342, 147, 332, 168};
    AddPolygon(&shape, opening, 3);
    PaintMask(s, &shape, C_SKIN, C_LINE, 2);
    static const int bowWing[] = {332, 178, 316, 170, 318, 190};
    AddPolygon(&shape, bowWing, 3);
    AddMirroredPolygon(&shape, bowWing, 3, axis);
    PaintMask(s, &shape, C_RIBBON, C_LINE, 2);
    AddEllipse(&shape, axis, 179, 5, 5);
    PaintMask(s, &shape, C_RIBBON, C_LINE, 2);

    // Arms hang beside the dress; puffed sleeves cover the shoulders.
    static const int arm[] = {300, 152, 316, 158, 302, 230, 286, 226};
    AddPolygon(&shape, arm, 4);
    AddMirroredPolygon(&shape, arm, 4, axis);
    PaintMask(s, &shape, C_SKIN, C_LINE, 2);
    AddEllipse(&shape, 303, 166, 14, 19);
    AddEllipse(&shape, 2 * axis - 303, 166, 14, 19);
    PaintMask(s, &shape, C_DRESS, C_LINE, 2);
    AddEllipse(&shape, 293, 232, 9, 10);
    AddEllipse(&shape, 2 * axis - 293, 232, 9, 10);
    PaintMask(s, &shape, C_SKIN, C_LINE, 2);
}

void DrawHead(Surface* s) {
    const int axis = 332;
    AddEllipse(&shape, axis, 88, 48, 46);
    PaintMask(s, &shape, C_SKIN, C_LINE, 2);

    // Fringe: the hair's own outline above a zigzag, plus two side locks.
    AddEllipse(&clip, axis, 80, 56, 54);
    static const int fringe[] = {270, 16,  394, 16,  394, 98,  376, 98,  372, 76,  366, 90,  358, 72,  348,
                                 88,  338, 68,  326, 88,  316, 70,  306, 90,  296, 74,  290, 98,  270, 98};
    AddPolygon(&shape, fringe, 15);
    ClipMask(&shape, clip);
    ClearMask(&clip);
    static const int lock[] = {280, 70, 300, 70, 300, 138, 288, 158, 278, 138};
    AddPolygon(&shape, lock, 5);
    AddMirroredPolygon(&shape, lock, 5, axis);
    PaintMask(s, &shape, C_HAIR, C_LINE, 2);

    // A bow on the hair.
    static const int wing[] = {372, 40, 360, 28, 358, 52};
    AddPolygon(&shape, wing, 3);
    AddMirroredPolygon(&shape, wing, 3, 372);
    PaintMask(s, &shape, C_RIBBON, C_LINE, 2);
    AddEllipse(&shape, 372, 40, 5, 5);
    PaintMask(s, &shape, C_RIBBON, C_LINE, 2);

    // Eyes: a dark almond, the iris, a highlight.
    for (int side = 0; side < 2; side++) {
        const int cx = side == 0 ? 313 : 2 * axis - 313;
        AddEllipse(&shape, cx, 102, 7, 10);
        PaintMask(s, &shape, C_LINE, C_LINE, 0);
        AddEllipse(&shape, cx, 105, 5, 6);
        PaintMask(s, &shape, C_EYE, C_EYE, 0);
        AddEllipse(&shape, cx - 2, 98, 2, 3);
        PaintMask(s, &shape, C_WHITE, C_WHITE, 0);
        AddEllipse(&shape, side == 0 ? 300 : 2 * axis - 300, 118, 7, 4);
        PaintMask(s, &shape, C_CHEEK, C_CHEEK, 0);
    }

    // A small open smile: the lower half of an ellipse.
    AddEllipse(&shape, axis, 116, 7, 7);
    AddRoundRect(&clip, 320, 116, 344, 130, 0);
    ClipMask(&shape, clip);
    ClearMask(&clip);
    PaintMask(s, &shape, C_MOUTH, C_LINE, 1);
}

// ---- Icons -----------------------------------------------------------------

enum {
    ICON_SIZE = 32,
    I_CLEAR = 255,  // transparent while drawing; the AND mask takes it out
};

enum {
    I_BLACK = 0,
    I_LINE,
    I_SKIN,
    I_HAIR,
    I_EYE,
    I_WHITE,
    I_CHEEK,
    I_RIBBON,
    I_WOOD,
    I_HANDLE,
    I_METAL,
    I_YELLOW,
    I_BLUE,
    I_LEAF,
    I_MOUTH,
    I_SPARE,
    I_COLOURS
};

const unsigned char iconColours[I_COLOURS][3] = {
    {0, 0, 0},       {60, 40, 56},   {255, 230, 212}, {132, 82, 150},  {64, 104, 184},  {255, 255, 255},
    {250, 176, 190}, {236, 84, 112}, {226, 184, 130}, {150, 96, 60},   {176, 176, 188}, {250, 214, 70},
    {70, 130, 230},  {80, 170, 90},  {214, 78, 100},  {128, 128, 128},
};

void DrawFaceIcon(Surface* s) {
    AddEllipse(&shape, 16, 15, 14, 13);
    AddRoundRect(&shape, 4, 12, 28, 31, 5);
    PaintMask(s, &shape, I_HAIR, I_LINE, 1);
    AddEllipse(&shape, 16, 19, 11, 10);
    PaintMask(s, &shape, I_SKIN, I_LINE, 1);
    AddEllipse(&clip, 16, 15, 14, 13);
    static const int fringe[] = {0,  0,  32, 0,  32, 20, 27, 20, 25, 13, 22, 17, 19,
                                 11, 16, 16, 13, 11, 10, 17, 7,  13, 5,  20, 0,  20};
    AddPolygon(&shape, fringe, 13);
    ClipMask(&shape, clip);
    ClearMask(&clip);
    PaintMask(s, &shape, I_HAIR, I_LINE, 1);
    static const int wing[] = {25, 6, 21, 2, 21, 10};
    AddPolygon(&shape, wing, 3);
    AddMirroredPolygon(&shape, wing, 3, 25);
    PaintMask(s, &shape, I_RIBBON, I_LINE, 1);
    AddEllipse(&shape, 12, 20, 2, 3);
    AddEllipse(&shape, 20, 20, 2, 3);
    PaintMask(s, &shape, I_LINE, I_LINE, 0);
    AddRoundRect(&shape, 11, 20, 13, 22, 0);
    AddRoundRect(&shape, 19, 20, 21, 22, 0);
    PaintMask(s, &shape, I_EYE, I_EYE, 0);
    AddEllipse(&shape, 8, 24, 2, 1);
    AddEllipse(&shape, 24, 24, 2, 1);
    PaintMask(s, &shape, I_CHEEK, I_CHEEK, 0);
    AddRoundRect(&shape, 15, 24, 17, 26, 0);
    PaintMask(s, &shape, I_MOUTH, I_MOUTH, 0);
}

void DrawPaletteIcon(Surface* s) {
    // The board, with a thumb hole cut out (it shows what lies behind).
    AddEllipse(&shape, 15, 17, 14, 11);
    PaintMask(s, &shape, I_WOOD, I_LINE, 1);
    AddEllipse(&shape, 8, 22, 3, 3);
    PaintMask(s, &shape, I_LINE, I_LINE, 0);
    AddEllipse(&shape, 8, 22, 2, 2);
    PaintMask(s, &shape, I_CLEAR, I_CLEAR, 0);
    // Paint dabs.
    AddEllipse(&shape, 7, 14, 3, 3);
    PaintMask(s, &shape, I_RIBBON, I_LINE, 1);
    AddEllipse(&shape, 13, 10, 3, 3);
    PaintMask(s, &shape, I_YELLOW, I_LINE, 1);
    AddEllipse(&shape, 20, 10, 3, 3);
    PaintMask(s, &shape, I_BLUE, I_LINE, 1);
    AddEllipse(&shape, 25, 21, 3, 3);
    PaintMask(s, &shape, I_LEAF, I_LINE, 1);
    // A brush lying across the board.
    static const int handle[] = {29, 0, 32, 2, 24, 15, 21, 13};
    AddPolygon(&shape, handle, 4);
    PaintMask(s, &shape, I_HANDLE, I_LINE, 1);
    static const int ferrule[] = {21, 13, 24, 15, 22, 19, 19, 17};
    AddPolygon(&shape, ferrule, 4);
    PaintMask(s, &shape, I_METAL, I_LINE, 1);
    static const int bristles[] = {19, 17, 22, 19, 19, 25, 15, 28, 16, 22};
    AddPolygon(&shape, bristles, 5);
    PaintMask(s, &shape, I_RIBBON, I_LINE, 1);
}

// One icon image: BITMAPINFOHEADER (double height), 16 colours, the 4-bit
// colour image and the 1-bit transparency mask, both bottom-up.
void PutIconImage(std::vector<unsigned char>* out, const Surface& s) {
    const int size = s.width;
    const int colourRow = ((size * 4 + 31) / 32) * 4;
    const int maskRow = ((size + 31) / 32) * 4;
    PutInfoHeader(out, size, 2 * size, 4, (uint32_t)(colourRow + maskRow) * size, 0);
    for (int i = 0; i < I_COLOURS; i++) {
        out->push_back(iconColours[i][2]);
        out->push_back(iconColours[i][1]);
        out->push_back(iconColours[i][0]);
        out->push_back(0);
    }
    for (int y = size - 1; y >= 0; y--) {
        std::vector<unsigned char> row((size_t)colourRow, 0);
        for (int x = 0; x < size; x++) {
            unsigned char v = s.pixels[(size_t)y * size + x];
            if (v == I_CLEAR) v = I_BLACK;
            row[(size_t)x / 2] |= (unsigned char)(x % 2 == 0 ? v << 4 : v);
        }
        out->insert(out->end(), row.begin(), row.end());
    }
    for (int y = size - 1; y >= 0; y--) {
        std::vector<unsigned char> row((size_t)maskRow, 0);
        for (int x = 0; x < size; x++)
            if (s.pixels[(size_t)y * size + x] == I_CLEAR) row[(size_t)x / 8] |= (unsigned char)(0x80 >> (x % 8));
        out->insert(out->end(), row.begin(), row.end());
    }
}

void DrawIcon(IconArt art, Surface* s) {
    InitSurface(s, ICON_SIZE, ICON_SIZE, I_CLEAR);
    InitMask(&shape, ICON_SIZE, ICON_SIZE);
    InitMask(&clip, ICON_SIZE, ICON_SIZE);
    if (art == ICON_MONITOR)
        DrawFaceIcon(s);
    else
        DrawPaletteIcon(s);
}

}  // namespace

void DrawDefaultSkinPicture(std::vector<unsigned char>* pixels) {
    Surface s;
    InitSurface(&s, SKIN_ART_WIDTH, SKIN_ART_HEIGHT, C_KEY);
    InitMask(&shape, SKIN_ART_WIDTH, SKIN_ART_HEIGHT);
    InitMask(&clip, SKIN_ART_WIDTH, SKIN_ART_HEIGHT);
    DrawBalloon(&s);
    DrawBody(&s);
    DrawHead(&s);
    pixels->swap(s.pixels);
}

void BuildDefaultSkinBmp(std::vector<unsigned char>* bmp) {
    std::vector<unsigned char> pixels;
    DrawDefaultSkinPicture(&pixels);
    const uint32_t tableBytes = 256 * 4;
    const uint32_t offset = 14 + 40 + tableBytes;
    const uint32_t imageSize = (uint32_t)SKIN_ART_WIDTH * SKIN_ART_HEIGHT;  // rows of 400 need no padding
    bmp->clear();
    bmp->reserve(offset + imageSize);
    bmp->push_back('B');
    bmp->push_back('M');
    Put32(bmp, offset + imageSize);
    Put16(bmp, 0);
    Put16(bmp, 0);
    Put32(bmp, offset);
    PutInfoHeader(bmp, SKIN_ART_WIDTH, SKIN_ART_HEIGHT, 8, imageSize, 3780);
    for (int i = 0; i < 256; i++) {
        const unsigned char* c = i < C_COLOURS ? skinColours[i] : skinColours[C_BLACK];
        bmp->push_back(c[2]);
        bmp->push_back(c[1]);
        bmp->push_back(c[0]);
        bmp->push_back(0);
    }
    for (int y = SKIN_ART_HEIGHT - 1; y >= 0; y--) {
        const unsigned char* row = &pixels[(size_t)y * SKIN_ART_WIDTH];
        bmp->insert(bmp->end(), row, row + SKIN_ART_WIDTH);
    }
}

void BuildDefaultSkinRecord(std::vector<unsigned char>* record) {
    SkinHeader header;
    FillSkinHeader(&header, "ぬぺろ", 3, 3, 249, 290, 0x0000FF00u);  // pure green, the picture's background
    std::vector<unsigned char> bmp;
    BuildDefaultSkinBmp(&bmp);
    AssembleSkinRecord(&header, bmp.data(), bmp.size(), record);
}

bool PackDefaultSkinTwice(const std::vector<unsigned char>& record, std::vector<unsigned char>* stored,
                          int32_t* onceSize) {
    if (record.size() < 3 || record.size() > 0x7FFFFFFF) return false;
    std::vector<unsigned char> once((size_t)PackedBound((int32_t)record.size()));
    const int32_t first = PackToMemory(record.data(), (int32_t)record.size(), once.data());
    if (first < 3) return false;
    stored->assign((size_t)PackedBound(first), 0);
    const int32_t second = PackToMemory(once.data(), first, stored->data());
    if (second < 3) return false;
    stored->resize((size_t)second);
    if (onceSize) *onceSize = first;
    return true;
}

void BuildIconFile(IconArt art, std::vector<unsigned char>* ico) {
    Surface s;
    DrawIcon(art, &s);
    std::vector<unsigned char> image;
    PutIconImage(&image, s);
    ico->clear();
    Put16(ico, 0);  // reserved
    Put16(ico, 1);  // an icon, not a cursor
    Put16(ico, 1);  // one image
    ico->push_back(ICON_SIZE);
    ico->push_back(ICON_SIZE);
    ico->push_back(16);  // colours
    ico->push_back(0);
    Put16(ico, 1);  // planes
    Put16(ico, 4);  // bits per pixel
    Put32(ico, (uint32_t)image.size());
    Put32(ico, 6 + 16);
    ico->insert(ico->end(), image.begin(), image.end());
}
