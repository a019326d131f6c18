// The font table. Rows 1 to 4 are the Japanese faces: full-width "ＭＳ", one
// ordinary space, then the name (the build turns them into Shift-JIS).
#include "fonttable.h"

const char* const fontFaces[FONT_TABLE_SIZE] = {
    "FixedSys",
    "ＭＳ ゴシック",
    "ＭＳ Ｐゴシック",
    "ＭＳ 明朝",
    "ＭＳ Ｐ明朝",
    "MS UI Gothic",
    "Verdana",
    "Times New Roman",
    "Comic Sans MS",
    "Arial",
    "Century Gothic",
    "Courier New",
    "Lucida Console",
    "Lucida Handwriting Italic",
    "Lucida Sans Unicode",
    "Modern",
    "OCR A Extended",
    "Symbol",
    "Tahoma",
    "Tempus Sans ITC",
    "Westminster",
    "Book Antiqua",
    "Impact",
};
