#include "platform/ui/x11/X11Windows.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace platform::ui {

namespace x11 {

namespace {

// Helper windows have no X window; their handles lie above every XID (29 bits).
constexpr Handle kHelperBase = Handle{1} << 30;
constexpr Time kDoubleClickMs = 500;
constexpr int32_t kDoubleClickSlop = 4;
constexpr unsigned kWheelDelta = 120;

// The error handler is process-wide in Xlib. Ours swallows the errors of our
// own connection (a bad or vanished XID must never end the host) and hands
// every other display's errors to the handler that was there before.
std::atomic<Display*> gOurDisplay{nullptr};
std::atomic<int> gLastError{0};
XErrorHandler gPreviousHandler = nullptr;
bool gHandlerInstalled = false;

int OnXError(Display* display, XErrorEvent* error) {
  if (display == gOurDisplay.load()) {
    gLastError = error->error_code;
    return 0;
  }
  return gPreviousHandler ? gPreviousHandler(display, error) : 0;
}

Rect Intersect(const Rect& a, const Rect& b) {
  return Rect{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
              std::min(a.Bottom, b.Bottom)};
}

Rect Union(const Rect& a, const Rect& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  return Rect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
              std::max(a.Bottom, b.Bottom)};
}

}  // namespace

X11WindowSystem::~X11WindowSystem() {
  std::vector<Handle> all;
  for (auto& [id, w] : FWindows)
    if (!w.Parent) all.push_back(id);
  for (Handle h : all) DestroyWindow(h);
}

uint64_t X11WindowSystem::NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

template <class F>
bool X11WindowSystem::Trapped(F&& request) {
  XSync(FDisplay, False);
  gLastError = 0;
  request();
  XSync(FDisplay, False);
  return gLastError == 0;
}

bool X11WindowSystem::OpenDisplay() {
  if (FDisplay) return true;
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) return false;
  FDisplay = XOpenDisplay(nullptr);
  if (!FDisplay) return false;
  gOurDisplay = FDisplay;
  if (!gHandlerInstalled) {
    gPreviousHandler = XSetErrorHandler(OnXError);
    gHandlerInstalled = true;
  }
  int major = 0, minor = 0;
  Bool pixmaps = False;
  FShmAvailable = XShmQueryVersion(FDisplay, &major, &minor, &pixmaps) == True;
  return true;
}

void X11WindowSystem::CloseDisplayIfUnused() {
  if (!FDisplay) return;
  for (auto& [id, w] : FWindows)
    if (w.Xid) return;
  if (FCapture) ReleaseCapture();
  if (FBlankCursor) XFreeCursor(FDisplay, FBlankCursor);
  FBlankCursor = 0;
  XCloseDisplay(FDisplay);
  FDisplay = nullptr;
  gOurDisplay = nullptr;
  // The host's handler comes back with the last window: a host that unloads
  // the library afterwards must not be left calling into unmapped code. A
  // handler installed after ours stays (it may call ours; we cannot tell).
  if (gHandlerInstalled) {
    const XErrorHandler current = XSetErrorHandler(gPreviousHandler);
    if (current == OnXError) {
      gHandlerInstalled = false;
    } else {
      XSetErrorHandler(current);
    }
  }
}

X11WindowSystem::Window* X11WindowSystem::Find(Handle window) {
  auto it = FWindows.find(window);
  return it == FWindows.end() ? nullptr : &it->second;
}

Handle X11WindowSystem::AddWindow(Window w) {
  const Handle id = w.Id;
  FWindows[id] = w;
  std::lock_guard<std::mutex> guard(FLiveLock);
  FLive.insert(id);
  return id;
}

Handle X11WindowSystem::CreateXWindow(::Window parentXid, Handle parent, const Rect& bounds, bool popup,
                                      WindowClient* client) {
  const int screen = DefaultScreen(FDisplay);
  XSetWindowAttributes attrs{};
  attrs.background_pixmap = None;  // no server-side clearing: paints cover everything
  attrs.border_pixel = 0;
  attrs.colormap = DefaultColormap(FDisplay, screen);
  attrs.override_redirect = popup ? True : False;
  attrs.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                     LeaveWindowMask | FocusChangeMask | StructureNotifyMask;
  const unsigned w = static_cast<unsigned>(std::max(1, bounds.Width()));
  const unsigned h = static_cast<unsigned>(std::max(1, bounds.Height()));
  ::Window xid = 0;
  const bool ok = Trapped([&] {
    xid = XCreateWindow(FDisplay, parentXid, bounds.Left, bounds.Top, w, h, 0, DefaultDepth(FDisplay, screen),
                        InputOutput, DefaultVisual(FDisplay, screen),
                        CWBackPixmap | CWBorderPixel | CWColormap | CWOverrideRedirect | CWEventMask, &attrs);
  });
  if (!ok || !xid) {
    if (xid) Trapped([&] { XDestroyWindow(FDisplay, xid); });
    return 0;
  }
  Window win;
  win.Id = static_cast<Handle>(xid);
  win.Xid = xid;
  win.Parent = parent;
  win.Client = client;
  win.Width = static_cast<int32_t>(w);
  win.Height = static_cast<int32_t>(h);
  win.Gc = XCreateGC(FDisplay, xid, 0, nullptr);
  return AddWindow(win);
}

Handle X11WindowSystem::CreateChildWindow(Handle parent, const Rect& bounds, WindowClient* client) {
  if (parent == 0) return 0;
  Window* ours = Find(parent);
  if (ours && !ours->Xid) return 0;  // helpers cannot hold children
  if (!OpenDisplay()) return 0;
  const ::Window parentXid = ours ? ours->Xid : static_cast<::Window>(parent);
  XWindowAttributes attributes{};
  Status status = 0;
  Handle h = 0;
  if (Trapped([&] { status = XGetWindowAttributes(FDisplay, parentXid, &attributes); }) && status != 0)
    h = CreateXWindow(parentXid, ours ? parent : 0, bounds, false, client);
  if (!h) CloseDisplayIfUnused();
  return h;
}

Handle X11WindowSystem::CreatePopupWindow(const Rect& screenBounds, WindowClient* client) {
  if (!OpenDisplay()) return 0;
  Handle h = CreateXWindow(DefaultRootWindow(FDisplay), 0, screenBounds, true, client);
  if (!h) CloseDisplayIfUnused();
  return h;
}

Handle X11WindowSystem::CreateHelperWindow(WindowClient* client) {
  Window win;
  win.Id = kHelperBase + ++FNextHelper;
  win.Client = client;
  return AddWindow(win);
}

void X11WindowSystem::Forget(Handle window, bool xAlive) {
  Window* w = Find(window);
  if (!w) return;
  std::vector<Handle> children;
  for (auto& [id, c] : FWindows)
    if (c.Parent == window) children.push_back(id);
  // X destroys the children with their parent; only their resources go here.
  for (Handle c : children) Forget(c, false);
  w = Find(window);
  if (FCapture == window) {
    if (FDisplay) XUngrabPointer(FDisplay, CurrentTime);
    FCapture = 0;
  }
  if (FFocus == window) FFocus = 0;
  if (FClickWindow == window) FClickWindow = 0;
  if (w->Xid && FDisplay) {
    FreeBuffer(w->Buffer);
    if (w->Gc) XFreeGC(FDisplay, w->Gc);
    if (xAlive) Trapped([&] { XDestroyWindow(FDisplay, w->Xid); });
  }
  FQueue.Forget(window);
  {
    std::lock_guard<std::mutex> guard(FLiveLock);
    FLive.erase(window);
  }
  FWindows.erase(window);
}

void X11WindowSystem::DestroyWindow(Handle window) {
  if (!Find(window)) return;
  Forget(window, true);
  CloseDisplayIfUnused();
}

bool X11WindowSystem::IsWindow(Handle window) { return Find(window) != nullptr; }

void X11WindowSystem::SetBounds(Handle window, const Rect& bounds) {
  Window* w = Find(window);
  if (!w || !w->Xid) return;
  w->Width = std::max(1, bounds.Width());
  w->Height = std::max(1, bounds.Height());
  XMoveResizeWindow(FDisplay, w->Xid, bounds.Left, bounds.Top, static_cast<unsigned>(w->Width),
                    static_cast<unsigned>(w->Height));
  w->Update = Intersect(w->Update, Rect{0, 0, w->Width - 1, w->Height - 1});
  XFlush(FDisplay);
}

void X11WindowSystem::ShowWindow(Handle window, bool show) {
  Window* w = Find(window);
  if (!w || !w->Xid || w->Visible == show) return;
  w->Visible = show;
  if (show) {
    XMapRaised(FDisplay, w->Xid);
  } else {
    XUnmapWindow(FDisplay, w->Xid);
  }
  XFlush(FDisplay);
}

void X11WindowSystem::ClientToScreen(Handle window, int32_t& x, int32_t& y) {
  Window* w = Find(window);
  if (!w || !w->Xid) return;
  int rx = 0, ry = 0;
  ::Window child = 0;
  if (XTranslateCoordinates(FDisplay, w->Xid, DefaultRootWindow(FDisplay), x, y, &rx, &ry, &child)) {
    x = rx;
    y = ry;
  }
}

Rect X11WindowSystem::ScreenRect() {
  const bool opened = !FDisplay;
  if (!OpenDisplay()) return Rect{0, 0, 1023, 767};
  const int screen = DefaultScreen(FDisplay);
  Rect r{0, 0, DisplayWidth(FDisplay, screen) - 1, DisplayHeight(FDisplay, screen) - 1};
  if (opened) CloseDisplayIfUnused();
  return r;
}

bool X11WindowSystem::PostMessage(Handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  {
    std::lock_guard<std::mutex> guard(FLiveLock);
    if (FLive.find(window) == FLive.end()) return false;
  }
  return FQueue.Post(PostedMessage{window, message, wparam, lparam});
}

uintptr_t X11WindowSystem::SetTimer(Handle window, uintptr_t id, uint32_t ms) {
  if (!Find(window)) return 0;
  FQueue.SetTimer(window, id, ms, NowMs());
  return id ? id : 1;
}

void X11WindowSystem::KillTimer(Handle window, uintptr_t id) { FQueue.KillTimer(window, id); }

void X11WindowSystem::InvalidateRect(Handle window, const Rect* rect) {
  Window* w = Find(window);
  if (!w || !w->Xid) return;
  const Rect client{0, 0, w->Width - 1, w->Height - 1};
  w->Update = Union(w->Update, rect ? Intersect(*rect, client) : client);
}

bool X11WindowSystem::GetUpdateRect(Handle window, Rect& rect) {
  Window* w = Find(window);
  if (!w || w->Update.Empty()) return false;
  rect = w->Update;
  return true;
}

void X11WindowSystem::FreeBuffer(BackBuffer& b) {
  if (b.Image) {
    if (b.Shared) {
      XShmDetach(FDisplay, &b.Shm);
      XSync(FDisplay, False);
    }
    if (b.Separate) delete[] b.Pixels;
    if (b.Shared) {
      shmdt(b.Shm.shmaddr);
      b.Image->data = nullptr;
    }
    XDestroyImage(b.Image);  // frees data it owns (the plain image's malloc'ed buffer)
  }
  b = BackBuffer{};
}

bool X11WindowSystem::EnsureBuffer(Window& w) {
  BackBuffer& b = w.Buffer;
  if (b.Image && b.Width == w.Width && b.Height == w.Height) return true;
  FreeBuffer(b);
  const int screen = DefaultScreen(FDisplay);
  Visual* visual = DefaultVisual(FDisplay, screen);
  const unsigned depth = static_cast<unsigned>(DefaultDepth(FDisplay, screen));
  const unsigned width = static_cast<unsigned>(w.Width), height = static_cast<unsigned>(w.Height);
  if (FShmAvailable) {
    XImage* image = XShmCreateImage(FDisplay, visual, depth, ZPixmap, nullptr, &b.Shm, width, height);
    if (image) {
      b.Shm.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * height, IPC_CREAT | 0600);
      void* address = b.Shm.shmid >= 0 ? shmat(b.Shm.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
      if (address != reinterpret_cast<void*>(-1)) {
        b.Shm.shmaddr = image->data = static_cast<char*>(address);
        b.Shm.readOnly = False;
        // Attaching fails on a remote server; then the plain image below is used.
        const bool attached = Trapped([&] { XShmAttach(FDisplay, &b.Shm); });
        shmctl(b.Shm.shmid, IPC_RMID, nullptr);  // freed once both sides detach
        if (attached) {
          b.Image = image;
          b.Shared = true;
        } else {
          shmdt(address);
        }
      } else if (b.Shm.shmid >= 0) {
        shmctl(b.Shm.shmid, IPC_RMID, nullptr);
      }
      if (!b.Shared) {
        image->data = nullptr;
        XDestroyImage(image);
      }
    }
  }
  if (!b.Image) {
    char* data = static_cast<char*>(std::calloc(static_cast<size_t>(width) * height, 4));
    if (!data) return false;
    b.Image = XCreateImage(FDisplay, visual, depth, ZPixmap, 0, data, width, height, 32, 0);
    if (!b.Image) {
      std::free(data);
      return false;
    }
  }
  XImage* image = b.Image;
  // The paint target is 0x00RRGGBB words, rows of Width pixels; the image
  // serves as it is when its layout is exactly that, else EndPaint converts.
  const bool direct = image->bits_per_pixel == 32 && image->bytes_per_line == static_cast<int>(width * 4) &&
                      image->byte_order == LSBFirst && image->red_mask == 0xFF0000 && image->green_mask == 0xFF00 &&
                      image->blue_mask == 0xFF;
  b.Separate = !direct;
  b.Pixels = direct ? reinterpret_cast<uint32_t*>(image->data)
                    : new (std::nothrow) uint32_t[static_cast<size_t>(width) * height]();
  b.Width = w.Width;
  b.Height = w.Height;
  if (!b.Pixels) {
    b.Separate = false;
    FreeBuffer(b);
    return false;
  }
  return true;
}

PaintTarget* X11WindowSystem::BeginPaint(Handle window) {
  Window* w = Find(window);
  if (!w || !w->Xid || !FDisplay) return nullptr;
  const Rect update = Intersect(w->Update, Rect{0, 0, w->Width - 1, w->Height - 1});
  w->Update = Rect{};
  if (!EnsureBuffer(*w)) return nullptr;
  w->Painting = update;
  w->Target = PaintTarget{};
  w->Target.Bits = w->Buffer.Pixels;
  w->Target.Width = w->Buffer.Width;
  w->Target.Height = w->Buffer.Height;
  w->Target.Clip = update;
  return &w->Target;
}

void X11WindowSystem::EndPaint(Handle window, PaintTarget* target) {
  Window* w = Find(window);
  if (!w || !w->Xid || !FDisplay || target != &w->Target || !w->Buffer.Image) return;
  const Rect r = w->Painting;
  w->Painting = Rect{};
  if (r.Empty()) return;
  BackBuffer& b = w->Buffer;
  if (b.Separate) {
    for (int32_t y = r.Top; y <= r.Bottom; ++y)
      for (int32_t x = r.Left; x <= r.Right; ++x) {
        const uint32_t p = b.Pixels[static_cast<size_t>(y) * b.Width + x];
        const unsigned long red = (p >> 16) & 0xFF, green = (p >> 8) & 0xFF, blue = p & 0xFF;
        auto scale = [](unsigned long v, unsigned long mask) {
          if (!mask) return 0ul;
          int shift = 0;
          while (!((mask >> shift) & 1)) ++shift;
          return ((v * (mask >> shift)) / 255) << shift;
        };
        XPutPixel(b.Image, x, y,
                  scale(red, b.Image->red_mask) | scale(green, b.Image->green_mask) | scale(blue, b.Image->blue_mask));
      }
  }
  const unsigned width = static_cast<unsigned>(r.Width()), height = static_cast<unsigned>(r.Height());
  if (b.Shared) {
    XShmPutImage(FDisplay, w->Xid, w->Gc, b.Image, r.Left, r.Top, r.Left, r.Top, width, height, False);
    XSync(FDisplay, False);  // the server has read the pixels before the next paint writes them
  } else {
    XPutImage(FDisplay, w->Xid, w->Gc, b.Image, r.Left, r.Top, r.Left, r.Top, width, height);
    XFlush(FDisplay);
  }
}

void X11WindowSystem::OffsetOrigin(PaintTarget& target, int32_t dx, int32_t dy) {
  target.OriginX += dx;
  target.OriginY += dy;
}

void X11WindowSystem::IntersectClip(PaintTarget& target, const Rect& rect) {
  const Rect device{rect.Left + target.OriginX, rect.Top + target.OriginY, rect.Right + target.OriginX,
                    rect.Bottom + target.OriginY};
  target.Clip = Intersect(target.Clip, device);
}

void X11WindowSystem::SetCapture(Handle window) {
  Window* w = Find(window);
  if (!w || !w->Xid) return;
  if (FCapture == window) return;
  if (FCapture) ReleaseCapture();
  const int result = XGrabPointer(FDisplay, w->Xid, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                                  GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
  (void)result;  // a refused grab still leaves the window the capture, as on Win32 without a button down
  FCapture = window;
  XSync(FDisplay, False);  // grabbed (or refused) before the caller goes on
}

void X11WindowSystem::ReleaseCapture() {
  if (!FCapture) return;
  const Handle previous = FCapture;
  FCapture = 0;
  if (FDisplay) {
    XUngrabPointer(FDisplay, CurrentTime);
    XSync(FDisplay, False);
  }
  Deliver(previous, msg::CaptureChanged, 0, 0);
}

void X11WindowSystem::TrackMouseLeave(Handle window) {
  if (Window* w = Find(window)) w->TrackLeave = true;
}

bool X11WindowSystem::GetCursorPos(int32_t& x, int32_t& y) {
  if (!FDisplay) return false;
  ::Window root = 0, child = 0;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned mask = 0;
  if (!XQueryPointer(FDisplay, DefaultRootWindow(FDisplay), &root, &child, &rx, &ry, &wx, &wy, &mask)) return false;
  x = rx;
  y = ry;
  return true;
}

void X11WindowSystem::SetCursorPos(int32_t x, int32_t y) {
  if (!FDisplay) return;
  XWarpPointer(FDisplay, None, DefaultRootWindow(FDisplay), 0, 0, 0, 0, x, y);
  XFlush(FDisplay);
}

void X11WindowSystem::ShowCursor(Handle window, bool show) {
  Window* w = Find(window);
  if (!w || !w->Xid || w->CursorHidden == !show) return;
  if (show) {
    XUndefineCursor(FDisplay, w->Xid);
  } else {
    if (!FBlankCursor) {
      static const char kEmpty[1] = {0};
      Pixmap bitmap = XCreateBitmapFromData(FDisplay, w->Xid, kEmpty, 1, 1);
      XColor black{};
      FBlankCursor = XCreatePixmapCursor(FDisplay, bitmap, bitmap, &black, &black, 0, 0);
      XFreePixmap(FDisplay, bitmap);
    }
    XDefineCursor(FDisplay, w->Xid, FBlankCursor);
  }
  w->CursorHidden = !show;
  XFlush(FDisplay);
}

uint32_t X11WindowSystem::KeyState() {
  uint32_t keys = 0;
  if (FLastState & ShiftMask) keys |= keys::Shift;
  if (FLastState & ControlMask) keys |= keys::Control;
  if (FLastState & Mod1Mask) keys |= keys::Alt;
  return keys;
}

void X11WindowSystem::SetFocus(Handle window) {
  Window* w = Find(window);
  if (!w || !w->Xid) return;
  // An unmapped window refuses the focus (BadMatch); the trap keeps that quiet.
  Trapped([&] { XSetInputFocus(FDisplay, w->Xid, RevertToParent, CurrentTime); });
}

uintptr_t X11WindowSystem::MouseFlags(unsigned state) const {
  uintptr_t flags = 0;
  if (state & Button1Mask) flags |= mk::LButton;
  if (state & Button2Mask) flags |= mk::MButton;
  if (state & Button3Mask) flags |= mk::RButton;
  if (state & ShiftMask) flags |= mk::Shift;
  if (state & ControlMask) flags |= mk::Control;
  return flags;
}

bool X11WindowSystem::Deliver(Handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  Window* w = Find(window);
  if (!w || !w->Client) return false;
  Message m;
  m.Msg = message;
  m.WParam = wparam;
  m.LParam = lparam;
  return w->Client->WindowProc(window, m);
}

void X11WindowSystem::HandleEvent(XEvent& e) {
  const Handle h = static_cast<Handle>(e.xany.window);
  Window* w = Find(h);
  if (!w || w->Xid != e.xany.window) return;
  switch (e.type) {
    case Expose:
      w->Update = Union(w->Update, Intersect(Rect{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width - 1,
                                                  e.xexpose.y + e.xexpose.height - 1},
                                             Rect{0, 0, w->Width - 1, w->Height - 1}));
      break;
    case ButtonPress:
    case ButtonRelease: {
      const XButtonEvent& b = e.xbutton;
      FLastState = b.state;
      const bool down = e.type == ButtonPress;
      if (b.button == Button4 || b.button == Button5) {
        if (!down) break;
        const uint16_t delta = static_cast<uint16_t>(b.button == Button4 ? kWheelDelta : -kWheelDelta);
        Deliver(h, msg::MouseWheel, (static_cast<uintptr_t>(delta) << 16) | MouseFlags(b.state),
                MakePointParam(b.x_root, b.y_root));
        break;
      }
      uint32_t message = 0, flag = 0;
      switch (b.button) {
        case Button1: message = msg::LButtonDown, flag = mk::LButton; break;
        case Button2: message = msg::MButtonDown, flag = mk::MButton; break;
        case Button3: message = msg::RButtonDown, flag = mk::RButton; break;
        default: return;
      }
      uintptr_t flags = MouseFlags(b.state);
      if (down) {
        flags |= flag;
        // A second press close in time and place is a double-click (down, up, double-click, up).
        const bool dbl = FClickWindow == h && FClickButton == b.button && b.time - FClickTime <= kDoubleClickMs &&
                         std::abs(b.x - FClickX) <= kDoubleClickSlop && std::abs(b.y - FClickY) <= kDoubleClickSlop;
        if (dbl) {
          message += 2;  // ...DblClk follows ...Down and ...Up in Win32's numbering
          FClickWindow = 0;
        } else {
          FClickWindow = h;
          FClickButton = b.button;
          FClickTime = b.time;
          FClickX = b.x;
          FClickY = b.y;
        }
      } else {
        flags &= ~static_cast<uintptr_t>(flag);
        message += 1;
      }
      Deliver(h, message, flags, MakePointParam(b.x, b.y));
      break;
    }
    case MotionNotify: {
      // Only the latest of consecutive moves matters.
      while (XPending(FDisplay) > 0) {
        XEvent next;
        XPeekEvent(FDisplay, &next);
        if (next.type != MotionNotify || next.xany.window != e.xany.window) break;
        XNextEvent(FDisplay, &e);
      }
      FLastState = e.xmotion.state;
      Deliver(h, msg::MouseMove, MouseFlags(e.xmotion.state), MakePointParam(e.xmotion.x, e.xmotion.y));
      break;
    }
    case LeaveNotify:
      FLastState = e.xcrossing.state;
      if (w->TrackLeave && e.xcrossing.mode == NotifyNormal && e.xcrossing.detail != NotifyInferior) {
        w->TrackLeave = false;
        Deliver(h, msg::MouseLeave, 0, 0);
      }
      break;
    case EnterNotify:
      FLastState = e.xcrossing.state;
      // Win32 sends a mouse move when a window appears under a resting
      // pointer; X reports only the crossing, so the move is made here and
      // the window knows what lies under the pointer before it first moves.
      if (e.xcrossing.mode == NotifyNormal)
        Deliver(h, msg::MouseMove, MouseFlags(e.xcrossing.state), MakePointParam(e.xcrossing.x, e.xcrossing.y));
      break;
    case FocusIn:
      if (e.xfocus.detail == NotifyPointer) break;
      FFocus = h;
      Deliver(h, msg::SetFocus, 0, 0);
      break;
    case FocusOut:
      if (e.xfocus.detail == NotifyPointer) break;
      if (FFocus == h) FFocus = 0;
      Deliver(h, msg::KillFocus, 0, 0);
      break;
    case ConfigureNotify:
      w->Width = std::max(1, e.xconfigure.width);
      w->Height = std::max(1, e.xconfigure.height);
      break;
    case DestroyNotify:
      // Destroyed by the server with a host window above it.
      if (e.xdestroywindow.window == w->Xid) Forget(h, false);
      break;
    default: break;
  }
}

void X11WindowSystem::PaintPending() {
  std::vector<Handle> dirty;
  for (auto& [id, w] : FWindows)
    if (w.Xid && w.Visible && !w.Update.Empty()) dirty.push_back(id);
  for (Handle h : dirty) {
    Window* w = Find(h);
    if (!w || w->Update.Empty()) continue;
    // An unhandled paint validates, as DefWindowProc does.
    if (!Deliver(h, msg::Paint, 0, 0) && (w = Find(h)) != nullptr) w->Update = Rect{};
  }
}

void X11WindowSystem::Pump() {
  if (FPumping) return;  // a handler that pumps again must not recurse
  FPumping = true;
  // Cleared on every way out: a handler's exception must not stop all later pumps.
  struct Reset {
    bool& Flag;
    ~Reset() { Flag = false; }
  } reset{FPumping};
  if (FDisplay) {
    while (FDisplay && XPending(FDisplay) > 0) {
      XEvent e;
      XNextEvent(FDisplay, &e);
      HandleEvent(e);
    }
  }
  PostedMessage m;
  size_t budget = FQueue.Waiting();  // messages posted while running wait for the next pump
  while (budget-- > 0 && FQueue.Take(m)) Deliver(m.Window, m.Msg, m.WParam, m.LParam);
  Handle window = 0;
  uintptr_t id = 0;
  const uint64_t now = NowMs();
  while (FQueue.TakeDueTimer(now, window, id)) Deliver(window, msg::Timer, id, 0);
  PaintPending();
  CloseDisplayIfUnused();
}

}  // namespace x11

WindowSystem& NativeWindowSystem() {
  static x11::X11WindowSystem system;
  return system;
}

}  // namespace platform::ui
