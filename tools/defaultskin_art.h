// The built-in default skin's picture and the two programs' icons. Everything
// is drawn from a few filled shapes with integer arithmetic only, so every
// machine and every build draws exactly the same bytes.
#pragma once
#include <stdint.h>
#include <vector>

enum {
    SKIN_ART_WIDTH = 400,
    SKIN_ART_HEIGHT = 336,
};

// Colour-table entries of the picture that other code cares about.
enum {
    SKIN_ART_KEY = 1,      // pure green: outside the window's shape
    SKIN_ART_BALLOON = 2,  // the balloon's even fill, under the text pane
};

// Draws the picture as colour-table indices, one byte per pixel, rows from
// the top as displayed (SKIN_ART_WIDTH * SKIN_ART_HEIGHT bytes).
void DrawDefaultSkinPicture(std::vector<unsigned char>* pixels);

// The picture as a complete 8-bit bottom-up BMP file.
void BuildDefaultSkinBmp(std::vector<unsigned char>* bmp);

// The whole skin record: the 56-byte header, then the BMP file.
void BuildDefaultSkinRecord(std::vector<unsigned char>* record);

// Packs `record`, then packs that stream again: the bytes the programs carry.
// `onceSize` (may be null) receives the size of the intermediate stream.
// False when memory runs out.
bool PackDefaultSkinTwice(const std::vector<unsigned char>& record, std::vector<unsigned char>* stored,
                          int32_t* onceSize);

enum IconArt {
    ICON_MONITOR,    // the figure's face
    ICON_SKINMAKER,  // a painter's palette and brush
};

// A complete .ico file holding one 32 x 32 image of 16 colours.
void BuildIconFile(IconArt art, std::vector<unsigned char>* ico);
