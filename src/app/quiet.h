#pragma once

// Changes quillet makes to widgets itself (starting values, feeds, refresh, clear) must run no
// change action, or a dialog whose action refreshes a widget could loop. Whoever changes a
// widget on quillet's behalf holds a Quiet while it does; change handlers do nothing meanwhile.

namespace quillet::app {

class Quiet {
public:
  Quiet() { ++depth_; }
  ~Quiet() { --depth_; }
  Quiet(const Quiet &) = delete;
  Quiet &operator=(const Quiet &) = delete;

  // Whether a change happening now is quillet's own.
  static bool active() { return depth_ > 0; }

private:
  static inline int depth_ = 0;
};

} // namespace quillet::app
