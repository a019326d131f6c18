"""A minimal X drag-and-drop (XDND, version 5) source: drops a list of files on
an X window the way a Linux file manager does, through the X server. Wine
turns such a drop on a window with WS_EX_ACCEPTFILES into WM_DROPFILES."""
import ctypes
import ctypes.util
import time
import urllib.parse

_x = ctypes.CDLL(ctypes.util.find_library('X11') or 'libX11.so.6')

Window = Atom = Time = ctypes.c_ulong
_x.XOpenDisplay.restype = ctypes.c_void_p
_x.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x.XDefaultRootWindow.restype = Window
_x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_x.XCreateSimpleWindow.restype = Window
_x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                   ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
_x.XInternAtom.restype = Atom
_x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_x.XSetSelectionOwner.argtypes = [ctypes.c_void_p, Atom, Window, Time]
_x.XSendEvent.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
_x.XPending.argtypes = [ctypes.c_void_p]
_x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
_x.XChangeProperty.argtypes = [ctypes.c_void_p, Window, Atom, Atom, ctypes.c_int, ctypes.c_int,
                               ctypes.c_char_p, ctypes.c_int]
_x.XFlush.argtypes = [ctypes.c_void_p]
_x.XDestroyWindow.argtypes = [ctypes.c_void_p, Window]
_x.XCloseDisplay.argtypes = [ctypes.c_void_p]

SELECTION_REQUEST, SELECTION_NOTIFY, CLIENT_MESSAGE = 30, 31, 33


class ClientMessage(ctypes.Structure):
    _fields_ = [('type', ctypes.c_int), ('serial', ctypes.c_ulong), ('send_event', ctypes.c_int),
                ('display', ctypes.c_void_p), ('window', Window), ('message_type', Atom),
                ('format', ctypes.c_int), ('l', ctypes.c_long * 5)]


class SelectionRequest(ctypes.Structure):
    _fields_ = [('type', ctypes.c_int), ('serial', ctypes.c_ulong), ('send_event', ctypes.c_int),
                ('display', ctypes.c_void_p), ('owner', Window), ('requestor', Window),
                ('selection', Atom), ('target', Atom), ('property', Atom), ('time', Time)]


class SelectionNotify(ctypes.Structure):
    _fields_ = [('type', ctypes.c_int), ('serial', ctypes.c_ulong), ('send_event', ctypes.c_int),
                ('display', ctypes.c_void_p), ('requestor', Window), ('selection', Atom),
                ('target', Atom), ('property', Atom), ('time', Time)]


class Event(ctypes.Union):
    _fields_ = [('type', ctypes.c_int), ('client', ClientMessage), ('request', SelectionRequest),
                ('notify', SelectionNotify), ('pad', ctypes.c_long * 24)]


def file_uri_list(paths):
    return b''.join(b'file://' + urllib.parse.quote(p).encode() + b'\r\n' for p in paths)


def drop_files(display, target, root_x, root_y, paths, timeout=10):
    """Drags `paths` onto X window `target` at root point (root_x, root_y) and
    drops them. Returns 'finished' when the target ended the drop, 'refused'
    when it declined it; raises TimeoutError when it never answered."""
    dpy = _x.XOpenDisplay(display.encode())
    if not dpy:
        raise OSError('cannot open display %s' % display)
    try:
        return _drag(dpy, target, root_x, root_y, file_uri_list(paths), timeout)
    finally:
        _x.XCloseDisplay(dpy)


def _drag(dpy, target, root_x, root_y, data, timeout):
    atom = lambda name: _x.XInternAtom(dpy, name.encode(), 0)
    uri_list = atom('text/uri-list')
    source = _x.XCreateSimpleWindow(dpy, _x.XDefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0)
    _x.XSetSelectionOwner(dpy, atom('XdndSelection'), source, 0)

    def send(name, *values):
        ev = Event()
        ev.client.type = CLIENT_MESSAGE
        ev.client.window = target
        ev.client.message_type = atom(name)
        ev.client.format = 32
        for i, v in enumerate(values):
            ev.client.l[i] = v
        _x.XSendEvent(dpy, target, 0, 0, ctypes.byref(ev))
        _x.XFlush(dpy)

    send('XdndEnter', source, 5 << 24, uri_list, 0, 0)
    send('XdndPosition', source, 0, (root_x << 16) | root_y, 0, atom('XdndActionCopy'))
    dropped = False
    deadline = time.time() + timeout
    try:
        while time.time() < deadline:
            if not _x.XPending(dpy):
                time.sleep(0.005)   # Xlib has no wait with a time limit; the queue is polled
                continue
            ev = Event()
            _x.XNextEvent(dpy, ctypes.byref(ev))
            if ev.type == SELECTION_REQUEST:
                _answer_request(dpy, ev.request, uri_list, data)
            elif ev.type == CLIENT_MESSAGE:
                kind = ev.client.message_type
                if kind == atom('XdndStatus') and not dropped:
                    if not ev.client.l[1] & 1:
                        send('XdndLeave', source, 0, 0, 0, 0)
                        return 'refused'
                    send('XdndDrop', source, 0, 0, 0, 0)
                    dropped = True
                elif kind == atom('XdndFinished'):
                    return 'finished'
        raise TimeoutError('the drop target did not answer')
    finally:
        _x.XDestroyWindow(dpy, source)
        _x.XFlush(dpy)


def _answer_request(dpy, request, uri_list, data):
    reply = Event()
    reply.notify.type = SELECTION_NOTIFY
    reply.notify.requestor = request.requestor
    reply.notify.selection = request.selection
    reply.notify.target = request.target
    reply.notify.time = request.time
    reply.notify.property = 0
    if request.target == uri_list:
        prop = request.property or request.target
        _x.XChangeProperty(dpy, request.requestor, prop, uri_list, 8, 0, data, len(data))
        reply.notify.property = prop
    _x.XSendEvent(dpy, request.requestor, 0, 0, ctypes.byref(reply))
    _x.XFlush(dpy)
