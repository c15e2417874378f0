#include "platform/ui/HeadlessWindows.h"

#include <algorithm>
#include <tuple>

namespace platform::ui {

namespace {
Rect Intersect(const Rect& a, const Rect& b) {
  return {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
}
Rect Union(const Rect& a, const Rect& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right), std::max(a.Bottom, b.Bottom)};
}
}  // namespace

HeadlessWindowSystem::HeadlessWindowSystem(int32_t screenWidth, int32_t screenHeight)
    : FScreenW(screenWidth), FScreenH(screenHeight) {}

HeadlessWindowSystem::~HeadlessWindowSystem() = default;

HeadlessWindowSystem::Window* HeadlessWindowSystem::Find(Handle window) {
  auto it = FWindows.find(window);
  return it == FWindows.end() ? nullptr : &it->second;
}

Handle HeadlessWindowSystem::NewWindow(Handle parent, const Rect& bounds, WindowClient* client, bool helper,
                                       bool host) {
  Window w;
  w.Id = FNextId++;
  w.Parent = parent;
  w.Client = client;
  w.Bounds = bounds;
  w.Helper = helper;
  w.Host = host;
  w.Visible = host;
  w.Order = FOrder++;
  if (!helper) w.Pixels.assign(static_cast<size_t>(std::max(0, bounds.Width()) * std::max(0, bounds.Height())), 0);
  FWindows[w.Id] = w;
  return w.Id;
}

Handle HeadlessWindowSystem::CreateHostWindow(const Rect& screenBounds) {
  return NewWindow(0, screenBounds, nullptr, false, true);
}

Handle HeadlessWindowSystem::CreateChildWindow(Handle parent, const Rect& bounds, WindowClient* client) {
  Window* p = Find(parent);
  if (!p || p->Helper) return 0;
  return NewWindow(parent, bounds, client, false, false);
}

Handle HeadlessWindowSystem::CreatePopupWindow(const Rect& screenBounds, WindowClient* client) {
  return NewWindow(0, screenBounds, client, false, false);
}

Handle HeadlessWindowSystem::CreateHelperWindow(WindowClient* client) { return NewWindow(0, {}, client, true, false); }

void HeadlessWindowSystem::DestroyWindow(Handle window) {
  if (!Find(window)) return;
  std::vector<Handle> children;
  for (auto& [id, w] : FWindows)
    if (w.Parent == window) children.push_back(id);
  for (Handle c : children) DestroyWindow(c);
  FQueue.Forget(window);
  if (FCapture == window) FCapture = 0;
  if (FFocus == window) FFocus = 0;
  if (FHovered == window) FHovered = 0;
  if (FTracking == window) FTracking = 0;
  if (FCursorWindow == window) {
    FCursorHidden = false;
    FCursorWindow = 0;
  }
  FWindows.erase(window);
}

bool HeadlessWindowSystem::IsWindow(Handle window) { return Find(window) != nullptr; }

void HeadlessWindowSystem::SetBounds(Handle window, const Rect& bounds) {
  Window* w = Find(window);
  if (!w) return;
  bool resized = bounds.Width() != w->Bounds.Width() || bounds.Height() != w->Bounds.Height();
  w->Bounds = bounds;
  if (!w->Helper && resized) {
    w->Pixels.assign(static_cast<size_t>(std::max(0, bounds.Width()) * std::max(0, bounds.Height())), 0);
    w->Update = {0, 0, bounds.Width() - 1, bounds.Height() - 1};
  }
}

void HeadlessWindowSystem::ShowWindow(Handle window, bool show) {
  Window* w = Find(window);
  if (!w || w->Visible == show) return;
  w->Visible = show;
  if (show && !w->Helper) w->Update = {0, 0, w->Bounds.Width() - 1, w->Bounds.Height() - 1};
}

Rect HeadlessWindowSystem::WindowRect(Handle window) {
  Window* w = Find(window);
  if (!w) return {};
  int32_t x = 0, y = 0;
  ClientToScreen(window, x, y);
  return {x, y, x + w->Bounds.Width() - 1, y + w->Bounds.Height() - 1};
}

bool HeadlessWindowSystem::IsVisible(Handle window) {
  for (Window* w = Find(window); w; w = w->Parent ? Find(w->Parent) : nullptr)
    if (!w->Visible) return false;
  return Find(window) != nullptr;
}

void HeadlessWindowSystem::ClientToScreen(Handle window, int32_t& x, int32_t& y) {
  for (Window* w = Find(window); w; w = w->Parent ? Find(w->Parent) : nullptr) {
    x += w->Bounds.Left;
    y += w->Bounds.Top;
  }
}

void HeadlessWindowSystem::ScreenToClient(Handle window, int32_t& x, int32_t& y) {
  int32_t ox = 0, oy = 0;
  ClientToScreen(window, ox, oy);
  x -= ox;
  y -= oy;
}

Rect HeadlessWindowSystem::ScreenRect() { return {0, 0, FScreenW - 1, FScreenH - 1}; }

bool HeadlessWindowSystem::PostMessage(Handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (window == 0) return false;
  return FQueue.Post({window, message, wparam, lparam});
}

uintptr_t HeadlessWindowSystem::SetTimer(Handle window, uintptr_t id, uint32_t ms) {
  if (!Find(window)) return 0;
  FQueue.SetTimer(window, id, ms, FNow);
  return id ? id : 1;
}

void HeadlessWindowSystem::KillTimer(Handle window, uintptr_t id) { FQueue.KillTimer(window, id); }

void HeadlessWindowSystem::InvalidateRect(Handle window, const Rect* rect) {
  Window* w = Find(window);
  if (!w || w->Helper) return;
  Rect client{0, 0, w->Bounds.Width() - 1, w->Bounds.Height() - 1};
  Rect r = rect ? Intersect(*rect, client) : client;
  if (!r.Empty()) w->Update = Union(w->Update, r);
}

bool HeadlessWindowSystem::GetUpdateRect(Handle window, Rect& rect) {
  Window* w = Find(window);
  if (!w || w->Update.Empty()) return false;
  rect = w->Update;
  return true;
}

PaintTarget* HeadlessWindowSystem::BeginPaint(Handle window) {
  ++FBeginPaintCalls;
  Window* w = Find(window);
  if (!w || w->Helper) return nullptr;
  auto t = std::make_unique<PaintTarget>();
  t->Bits = w->Pixels.data();
  t->Width = w->Bounds.Width();
  t->Height = w->Bounds.Height();
  t->Clip = w->Update;
  w->Update = {};
  ++w->Paints;
  FTargets.push_back(std::move(t));
  return FTargets.back().get();
}

void HeadlessWindowSystem::EndPaint(Handle, PaintTarget* target) {
  FTargets.erase(std::remove_if(FTargets.begin(), FTargets.end(), [&](const auto& t) { return t.get() == target; }),
                 FTargets.end());
}

void HeadlessWindowSystem::OffsetOrigin(PaintTarget& target, int32_t dx, int32_t dy) {
  target.OriginX += dx;
  target.OriginY += dy;
}

void HeadlessWindowSystem::IntersectClip(PaintTarget& target, const Rect& rect) {
  Rect device{rect.Left + target.OriginX, rect.Top + target.OriginY, rect.Right + target.OriginX,
              rect.Bottom + target.OriginY};
  target.Clip = Intersect(target.Clip, device);
}

void HeadlessWindowSystem::SetCapture(Handle window) { FCapture = Find(window) ? window : 0; }
void HeadlessWindowSystem::ReleaseCapture() { FCapture = 0; }
void HeadlessWindowSystem::TrackMouseLeave(Handle window) { FTracking = Find(window) ? window : 0; }

bool HeadlessWindowSystem::GetCursorPos(int32_t& x, int32_t& y) {
  x = FCursorX;
  y = FCursorY;
  return true;
}

// Like the native systems, a warp produces a mouse move (queued) for the
// window that captures the mouse or lies under the new position.
void HeadlessWindowSystem::SetCursorPos(int32_t x, int32_t y) {
  FCursorX = x;
  FCursorY = y;
  Handle target = FCapture ? FCapture : WindowAt(x, y);
  if (!target) return;
  ScreenToClient(target, x, y);
  PostMessage(target, msg::MouseMove, MouseFlags(), MakePointParam(x, y));
}

// The pointer is hidden over one window; destroying that window shows it again.
void HeadlessWindowSystem::ShowCursor(Handle window, bool show) {
  if (!show) {
    if (!Find(window)) return;
    FCursorHidden = true;
    FCursorWindow = window;
  } else if (window == FCursorWindow) {
    FCursorHidden = false;
    FCursorWindow = 0;
  }
}

void HeadlessWindowSystem::SetFocus(Handle window) {
  if (window == FFocus || !Find(window)) return;
  Handle old = FFocus;
  FFocus = window;
  if (old) Deliver(old, msg::KillFocus, window, 0);
  Deliver(window, msg::SetFocus, old, 0);
}

bool HeadlessWindowSystem::Deliver(Handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  Window* w = Find(window);
  if (!w || !w->Client) return false;
  if (w->Helper && !(message == msg::Timer || (message >= msg::User && message <= msg::AppLast))) return false;
  Message m{message, wparam, lparam, 0};
  return w->Client->WindowProc(window, m);
}

Handle HeadlessWindowSystem::WindowAt(int32_t x, int32_t y) {
  // Top-level windows later in creation order lie above; children above parents.
  Handle best = 0;
  uint64_t bestOrder = 0;
  int bestDepth = -1;
  for (auto& [id, w] : FWindows) {
    if (w.Helper || !IsVisible(id)) continue;
    Rect r = WindowRect(id);
    if (x < r.Left || x > r.Right || y < r.Top || y > r.Bottom) continue;
    Handle top = id;
    int depth = 0;
    while (Find(top)->Parent) {
      top = Find(top)->Parent;
      ++depth;
    }
    uint64_t order = Find(top)->Order;
    if (!best || order > bestOrder || (order == bestOrder && (depth > bestDepth || w.Order > Find(best)->Order))) {
      best = id;
      bestOrder = order;
      bestDepth = depth;
    }
  }
  return best;
}

uintptr_t HeadlessWindowSystem::MouseFlags() const {
  uintptr_t f = FButtons;
  if (FKeys & keys::Shift) f |= mk::Shift;
  if (FKeys & keys::Control) f |= mk::Control;
  return f;
}

void HeadlessWindowSystem::MouseMove(int32_t x, int32_t y) {
  FCursorX = x;
  FCursorY = y;
  Handle under = WindowAt(x, y);
  if (FTracking && FTracking != under && FCapture != FTracking) {
    Handle t = FTracking;
    FTracking = 0;
    Deliver(t, msg::MouseLeave, 0, 0);
  }
  FHovered = under;
  Handle target = FCapture ? FCapture : under;
  if (!target) return;
  int32_t cx = x, cy = y;
  ScreenToClient(target, cx, cy);
  Deliver(target, msg::MouseMove, MouseFlags(), MakePointParam(cx, cy));
  Pump();
}

void HeadlessWindowSystem::MouseButton(uint32_t message, int32_t x, int32_t y, uint32_t buttonFlag, bool down) {
  FCursorX = x;
  FCursorY = y;
  if (down)
    FButtons |= buttonFlag;
  else
    FButtons &= ~buttonFlag;
  Handle target = FCapture ? FCapture : WindowAt(x, y);
  if (!target) return;
  int32_t cx = x, cy = y;
  ScreenToClient(target, cx, cy);
  Deliver(target, message, MouseFlags(), MakePointParam(cx, cy));
  Pump();
}

namespace {
const uint32_t kDown[3] = {msg::LButtonDown, msg::RButtonDown, msg::MButtonDown};
const uint32_t kUp[3] = {msg::LButtonUp, msg::RButtonUp, msg::MButtonUp};
const uint32_t kDbl[3] = {msg::LButtonDblClk, msg::RButtonDblClk, msg::MButtonDblClk};
const uint32_t kFlag[3] = {mk::LButton, mk::RButton, mk::MButton};
}  // namespace

void HeadlessWindowSystem::MouseDown(int button, int32_t x, int32_t y) {
  MouseButton(kDown[button], x, y, kFlag[button], true);
}
void HeadlessWindowSystem::MouseUp(int button, int32_t x, int32_t y) {
  MouseButton(kUp[button], x, y, kFlag[button], false);
}
void HeadlessWindowSystem::DoubleClick(int button, int32_t x, int32_t y) {
  MouseDown(button, x, y);
  MouseUp(button, x, y);
  MouseButton(kDbl[button], x, y, kFlag[button], true);
  MouseUp(button, x, y);
}

void HeadlessWindowSystem::Wheel(int32_t delta, int32_t x, int32_t y) {
  Handle target = FCapture ? FCapture : WindowAt(x, y);
  if (!target) return;
  Deliver(target, msg::MouseWheel, (static_cast<uintptr_t>(static_cast<uint16_t>(delta)) << 16) | MouseFlags(),
          MakePointParam(x, y));
  Pump();
}

void HeadlessWindowSystem::Advance(uint64_t ms) {
  uint64_t end = FNow + ms;
  // Walk the clock through each timer expiry so periodic timers tick as often
  // as they would in real time.
  for (;;) {
    uint64_t next = FQueue.NextDue(FNow);
    if (next == UINT64_MAX || FNow + next > end) break;
    FNow += next;
    Pump();
  }
  FNow = end;
  Pump();
}

void HeadlessWindowSystem::PaintPending() {
  std::vector<Handle> dirty;
  for (auto& [id, w] : FWindows)
    if (!w.Helper && w.Client && !w.Update.Empty() && IsVisible(id)) dirty.push_back(id);
  for (Handle h : dirty) {
    Window* w = Find(h);
    if (!w || w->Update.Empty()) continue;
    if (!Deliver(h, msg::Paint, 0, 0)) {
      if ((w = Find(h)) != nullptr) w->Update = {};  // an unhandled paint validates, like DefWindowProc
    }
  }
}

void HeadlessWindowSystem::Pump() {
  if (FPumping) return;  // a handler that pumps again must not recurse
  FPumping = true;
  // Cleared on every way out: a handler's exception must not stop all later pumps.
  struct Reset {
    bool& Flag;
    ~Reset() { Flag = false; }
  } reset{FPumping};
  for (int round = 0; round < 64; ++round) {
    bool any = false;
    PostedMessage m;
    size_t budget = FQueue.Waiting();
    while (budget-- > 0 && FQueue.Take(m)) {
      any = true;
      Deliver(m.Window, m.Msg, m.WParam, m.LParam);
    }
    Handle w;
    uintptr_t id;
    while (FQueue.TakeDueTimer(FNow, w, id)) {
      any = true;
      Deliver(w, msg::Timer, id, 0);
    }
    PaintPending();
    if (!any) break;
  }
}

std::vector<uint32_t> HeadlessWindowSystem::Screen() {
  std::vector<uint32_t> screen(static_cast<size_t>(FScreenW * FScreenH), 0);
  std::vector<Window*> order;
  for (auto& [id, w] : FWindows)
    if (!w.Helper && IsVisible(id)) order.push_back(&w);
  auto key = [&](Window* w) {
    // Sort by the top-level window's creation order, then depth, then own order.
    Window* top = w;
    int depth = 0;
    while (top->Parent) {
      top = Find(top->Parent);
      ++depth;
    }
    return std::tuple<uint64_t, int, uint64_t>(top->Order, depth, w->Order);
  };
  std::sort(order.begin(), order.end(), [&](Window* a, Window* b) { return key(a) < key(b); });
  for (Window* w : order) {
    Rect r = WindowRect(w->Id);
    // Clip to every ancestor's client area.
    Rect vis = Intersect(r, ScreenRect());
    for (Window* p = w->Parent ? Find(w->Parent) : nullptr; p; p = p->Parent ? Find(p->Parent) : nullptr)
      vis = Intersect(vis, WindowRect(p->Id));
    for (int32_t y = vis.Top; y <= vis.Bottom; ++y)
      for (int32_t x = vis.Left; x <= vis.Right; ++x)
        screen[static_cast<size_t>(y * FScreenW + x)] =
            w->Pixels[static_cast<size_t>((y - r.Top) * w->Bounds.Width() + (x - r.Left))] & 0x00FFFFFF;
  }
  return screen;
}

uint32_t HeadlessWindowSystem::ScreenPixel(int32_t x, int32_t y) {
  if (x < 0 || y < 0 || x >= FScreenW || y >= FScreenH) return 0;
  return Screen()[static_cast<size_t>(y * FScreenW + x)];
}

const std::vector<uint32_t>* HeadlessWindowSystem::WindowPixels(Handle window) {
  Window* w = Find(window);
  return w ? &w->Pixels : nullptr;
}

int HeadlessWindowSystem::PaintCount(Handle window) {
  Window* w = Find(window);
  return w ? w->Paints : 0;
}

}  // namespace platform::ui
