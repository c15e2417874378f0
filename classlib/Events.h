#pragma once
// Handlers ("events"): a callable bound to a receiver. An unbound handler is
// skipped; where it has a result, calling it yields a value-initialised one.
// Binding happens at set-up time; calling never allocates.

#include <functional>
#include <utility>

template <class Sig>
class TEvent;

template <class R, class... Args>
class TEvent<R(Args...)> {
public:
  TEvent() = default;
  template <class F>
  TEvent(F f) : FFunc(std::move(f)) {}  // NOLINT: implicit on purpose

  // Binds a member function of a receiver object.
  template <class C>
  static TEvent Bind(C* receiver, R (C::*method)(Args...)) {
    return TEvent([receiver, method](Args... a) -> R { return (receiver->*method)(std::forward<Args>(a)...); });
  }

  bool Bound() const { return static_cast<bool>(FFunc); }
  explicit operator bool() const { return Bound(); }
  void Unbind() { FFunc = nullptr; }

  R operator()(Args... a) const {
    if (!FFunc) return R();
    return FFunc(std::forward<Args>(a)...);
  }

private:
  std::function<R(Args...)> FFunc;
};

class TObject;
using TNotifyEvent = TEvent<void(TObject* Sender)>;
