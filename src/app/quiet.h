#pragma once

// Changes quillet makes to widgets itself (starting values, feeds, refresh, clear) must run no
// change action, or a dialog whose action refreshes a widget could loop. Whoever changes a
// widget on quillet's behalf holds a Quiet on the dialog's depth while it does; change
// handlers do nothing meanwhile.

namespace quillet::app {

// How many Quiets are held on one dialog now.
class QuietDepth {
public:
  QuietDepth() = default;
  QuietDepth(const QuietDepth &) = delete;
  QuietDepth &operator=(const QuietDepth &) = delete;

  // Whether a change happening now is quillet's own.
  bool active() const { return depth_ > 0; }

private:
  friend class Quiet;
  int depth_ = 0;
};

class Quiet {
public:
  explicit Quiet(QuietDepth &depth) : depth_(depth) { ++depth_.depth_; }
  ~Quiet() { --depth_.depth_; }
  Quiet(const Quiet &) = delete;
  Quiet &operator=(const Quiet &) = delete;

private:
  QuietDepth &depth_;
};

} // namespace quillet::app
