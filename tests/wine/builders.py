"""What the Wine tests build and name alike: BMP files, sys.ini blocks, and
the programs' command and control ids, messages and window titles."""
import struct

# -- the monitor --------------------------------------------------------------------

MAIN_CLASS = 'TOVRELWND'
SLOT = r'\\.\mailslot\dout'
CMD_SELECTALL, CMD_COPY, CMD_EXIT, CMD_SETTINGS, CMD_SKIN = 40001, 40002, 40003, 40004, 40005
CMD_MEMORY, CMD_MINIMIZE, CMD_LOGFILE = 40007, 40008, 40009
SETTINGS_TITLE, MEMORY_TITLE, COLOR_TITLE, SKIN_DIALOG_TITLE = '設定', 'メモリ使用量', '色', 'スキンの選択'

# -- the system ---------------------------------------------------------------------

IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7
FILE_NAME = 0x47c   # the file name box of the system's open and save dialogs
WM_NULL, WM_KEYDOWN, WM_COMMAND, WM_SYSCOMMAND = 0, 0x100, 0x111, 0x112
WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK = 0x200, 0x201, 0x202, 0x203
WM_RBUTTONDOWN, WM_CAPTURECHANGED = 0x204, 0x215
VK_ESCAPE, SC_CLOSE, WS_EX_TOPMOST = 0x1B, 0xF060, 0x8

# -- BMP files ----------------------------------------------------------------------


def bmp_file(width, height, bits, data, table=b'', ppm=2835, compression=0, masks=b'', image_size=None, extra=b''):
    """A BMP file image: file header, 40-byte info header, masks, colour
    table, pixel rows (already padded and in file order), then `extra`. The
    info header's image size is len(data) unless given."""
    size = len(data) if image_size is None else image_size
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, compression, size, ppm, ppm, 0, 0)
    offset = 14 + 40 + len(masks) + len(table)
    body = info + masks + table + data + extra
    return struct.pack('<2sIHHI', b'BM', 14 + len(body), 0, 0, offset) + body


def bmp24(width, height, pixel, top_down=False):
    """A 24-bit BMP file, bottom-up unless asked otherwise; pixel(x, y) gives
    (r, g, b), y from the top as displayed."""
    pad = b'\0' * ((-width * 3) & 3)
    order = range(height) if top_down else range(height - 1, -1, -1)
    data = b''.join(b''.join(bytes(pixel(x, y)[::-1]) for x in range(width)) + pad for y in order)
    return bmp_file(width, -height if top_down else height, 24, data)


def solid_bmp(width, height, rgb):
    """A bottom-up 24-bit BMP file of one colour."""
    row = bytes(rgb[::-1]) * width + b'\0' * ((-width * 3) & 3)
    return bmp_file(width, height, 24, row * height)


def bmp8(width, height, palette, index, top_down=False, ppm=3780):
    """An 8-bit BMP file with a 256-entry colour table (`palette`, (r, g, b)
    each, the rest black); index(x, y) picks the entry, y from the top."""
    table = b''.join(bytes((b, g, r, 0)) for r, g, b in palette).ljust(1024, b'\0')
    pad = b'\0' * ((-width) & 3)
    order = range(height) if top_down else range(height - 1, -1, -1)
    data = b''.join(bytes(index(x, y) for x in range(width)) + pad for y in order)
    return bmp_file(width, -height if top_down else height, 8, data, table, ppm)


# -- sys.ini ------------------------------------------------------------------------

SETTINGS_FORMAT = '<260s64s64sIiII5B3s'
SETTINGS_SIZE = 412
SETTINGS_FIELDS = ('skin', 'remote', 'slot', 'font_index', 'font_height', 'poll', 'color', 'vscroll', 'hscroll',
                   'on_top', 'pin', 'log', 'reserved')


def settings_block(**changes):
    """A sys.ini image: the program's defaults with some fields changed."""
    fields = dict(skin=b'', remote=b'.', slot=b'dout', font_index=0, font_height=12, poll=100, color=0,
                  vscroll=0, hscroll=0, on_top=1, pin=1, log=0, reserved=b'\0\0\0')
    fields.update(changes)
    return struct.pack(SETTINGS_FORMAT, *(fields[name] for name in SETTINGS_FIELDS))


def parse_block(data):
    block = dict(zip(SETTINGS_FIELDS, struct.unpack(SETTINGS_FORMAT, data[:SETTINGS_SIZE])))
    for key in ('skin', 'remote', 'slot'):
        block[key + '_field'] = block[key]
        block[key] = block[key].split(b'\0', 1)[0]
    return block
