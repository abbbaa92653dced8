#include "session.h"

#include "common/checks.h"

#include "common/children.h"
#include "dialog.h"
#include "export.h"
#include "widgets/kinds.h"

#include <cstdio>
#include <utility>

namespace quillet::app {

Session::Session(GtkBuilder *builder, GtkWidget *window, const transform::DialogExtras &extras,
                 GHashTable *widget_actions, Format format, bool debug)
    : window_(window), ok_(widgets::ok_button(builder)), cancel_(widgets::cancel_button(builder)),
      extras_(extras), widget_actions_(widget_actions), format_(format), debug_(debug),
      // What every action command starts with: quillet's environment and the widgets' values.
      actions_(window, [this] { return environment_with(states(false), debug_); }),
      feeds_(actions_.quiet()), builtins_({builder, &extras, end_by, this}, actions_, feeds_),
      builder_(GTK_BUILDER(g_object_ref(builder))) {}

Session::~Session() {
  // Before the actions, feeds and built-ins that the widgets' handlers reach.
  g_object_unref(builder_);
}

// The states of the named widgets as a script reads them back.
std::vector<WidgetState> Session::states(bool explain) {
  const bool warn = debug_ && !std::exchange(refusals_said_, true);
  return collect_states(extras_.order, builder_, explain, warn);
}

// The first end counts; nothing runs from then on but what the end itself does.
void Session::end(std::optional<Ending> ending) {
  if (ending_ || closed_)
    return;
  ending_ = std::move(ending);
  closed_ = !ending_;
  actions_.close();
  if (gtk_main_level() > 0)
    gtk_main_quit();
}

void Session::end_by(const char *word, gpointer data) {
  static_cast<Session *>(data)->end(Ending{word, true});
}

void Session::on_ok(GtkButton *, gpointer data) {
  end_by("OK", data);
}

void Session::on_cancel(GtkButton *, gpointer data) {
  static_cast<Session *>(data)->end(Ending{"CANCEL", false});
}

// Closed by the window manager or Escape: no answer. The window stays until the end.
gboolean Session::on_delete(GtkWidget *, GdkEvent *, gpointer data) {
  static_cast<Session *>(data)->end(std::nullopt);
  return TRUE;
}

void Session::on_destroy(GtkWidget *, gpointer data) {
  auto *self = static_cast<Session *>(data);
  self->window_gone_ = true;
  self->end(std::nullopt);
}

void Session::set_up(const Values *values, bool fit_height) {
  g_signal_connect(window_, "destroy", G_CALLBACK(on_destroy), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(on_delete), this);
  if (ok_ != nullptr)
    g_signal_connect(ok_, "clicked", G_CALLBACK(on_ok), this);
  if (cancel_ != nullptr)
    g_signal_connect(cancel_, "clicked", G_CALLBACK(on_cancel), this);

  const Dialog dialog{builder_, window_, ok_, cancel_, end_by, this, &actions_, &pictures_};
  dialog_set_up(dialog, extras_);
  dialog_set_values(dialog, extras_, values);
  // A progress bar given its end as its starting value ends the dialog before it shows.
  if (ending_)
    return;
  dialog_wire_actions(dialog, widget_actions_);
  dialog_wire_events(dialog, extras_);
  if (fit_height)
    dialog_fit_height(dialog);
  gtk_widget_show_all(window_);
  dialog_name_fields(dialog, extras_);
  feeds_.start(builder_, extras_.feeds);
  dialog_focus_first_field(dialog, extras_);
}

int Session::run(const Values *values, bool fit_height) {
  set_up(values, fit_height);
  if (!ending_ && !closed_)
    gtk_main();
  return finish();
}

// The answer first, and its status: 1 when a line of it could not be written (a full disk, a
// pipe nobody reads), so that the script does not take part of it for the whole; from then
// on a signal no longer says that nothing was printed. The window goes from the screen at
// once; feeds are ended, what is queued never runs, and the running action is waited for, so
// that its work is done when the script goes on, as are pictures being decoded, which stop
// soon; then whatever the commands left behind is ended. The window is not destroyed: GTK's
// accessibility would complain of a notebook's pages as they go, and the process ends.
int Session::finish() {
  int status = 0;
  if (ending_ && !window_gone_) {
    g_autoptr(GString) out = g_string_new(nullptr);
    append_answer(out, format_, ending_->word,
                  ending_->values ? states(debug_) : std::vector<WidgetState>());
    fwrite(out->str, 1, out->len, stdout);
    if (fflush(stdout) != 0 || ferror(stdout))
      status = 1;
  }
  children::set_exit_status(status);
  if (!window_gone_) {
    gtk_widget_hide(window_);
    gtk_widget_unrealize(window_);
  }
  gdk_display_flush(gdk_display_get_default());
  feeds_.stop();
  builtins_.stop();
  actions_.finish();
  pictures_.stop();
  children::end_at_last();
  return status;
}

} // namespace quillet::app
