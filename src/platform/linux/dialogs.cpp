/* platform/linux/dialogs.cpp: the message boxes as GTK 3 message dialogs, and the copy's
 * progress as a GTK window; on a terminal when there is no display.
 *
 * A GtkMessageDialog run with gtk_dialog_run is modal and blocking, as MessageBoxA is: one
 * call per box, no main loop of our own. GTK is started at the first box, so that a run
 * that ends silently (a second instance) never connects to the display. While the copy
 * runs on a thread of its own, the progress window's main loop runs on the thread that
 * made it. */
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/common/code_page_1252.h"
#include "platform/linux/udisks.h"
#include "platform/platform.h"

// gdkx.h brings Xlib's macros (Bool, Status, None): included after everything else.
#include <gdk/gdkx.h>

namespace {

// The dialog texts are bytes from UPDATE.INI and the records: shown as they are when they
// are UTF-8, else read as Windows-1252, so that a bundle written for Western Windows reads
// right.
std::string AsUtf8(const char* text) {
    if (g_utf8_validate(text, -1, nullptr)) {
        return text;
    }
    std::string utf8;
    for (const char* c = text; *c != '\0'; ++c) {
        char encoded[6];
        gint length = g_unichar_to_utf8(Cp1252ToUnicode(static_cast<unsigned char>(*c)), encoded);
        utf8.append(encoded, static_cast<std::size_t>(length));
    }
    return utf8;
}

bool HaveDisplay() {
    static const bool display = gtk_init_check(nullptr, nullptr) != FALSE;
    return display;
}

bool IsQuestion(unsigned style) {
    return (style & kBoxYesNo) == kBoxYesNo;
}

int ShowGtkDialog(const std::string& text, const std::string& caption, unsigned style) {
    const unsigned icon = style & 0xF0;
    GtkMessageType type = icon == kBoxIconError      ? GTK_MESSAGE_ERROR
                          : icon == kBoxIconQuestion ? GTK_MESSAGE_QUESTION
                                                     : GTK_MESSAGE_INFO;
    GtkWidget* dialog = gtk_message_dialog_new(
        nullptr, GTK_DIALOG_MODAL, type, IsQuestion(style) ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK,
        "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog),
                                    IsQuestion(style) ? GTK_RESPONSE_YES : GTK_RESPONSE_OK);
    // GTK 3 shows no icon in a message dialog unless it is given one; the call is deprecated
    // but is the one that does it.
    const char* iconName = type == GTK_MESSAGE_ERROR      ? "dialog-error"
                           : type == GTK_MESSAGE_QUESTION ? "dialog-question"
                                                          : "dialog-information";
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* image = gtk_image_new_from_icon_name(iconName, GTK_ICON_SIZE_DIALOG);
    gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(dialog), image);
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_widget_show(image);
    // Assistive technology reads the caption, as Windows gives it for a message box.
    atk_object_set_name(gtk_widget_get_accessible(dialog), caption.c_str());

    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    while (gtk_events_pending()) {
        gtk_main_iteration();  // let the box vanish before the run goes on
    }
    if (response == GTK_RESPONSE_YES) {
        return kAnswerYes;
    }
    // A question closed by the window manager is not a Yes.
    return IsQuestion(style) ? kAnswerNo : kAnswerOk;
}

// Writes `text` and flushes it; false when it can't be written.
bool Write(std::FILE* out, const std::string& text) {
    return std::fputs(text.c_str(), out) >= 0 && std::fflush(out) == 0;
}

// Without a display: on a terminal the box is printed and a question asked; otherwise the
// box goes to standard error and a question counts as not answered Yes. A box that can't be
// printed is one that could not be shown (0).
int ShowOnTerminal(const std::string& text, const std::string& caption, unsigned style) {
    const bool terminal = isatty(STDIN_FILENO) != 0;
    std::FILE* out = terminal ? stdout : stderr;
    if (!Write(out, "== " + caption + " ==\n" + text + "\n")) {
        return 0;
    }
    if (!IsQuestion(style)) {
        return kAnswerOk;
    }
    if (!terminal) {
        Write(out, "(not answered: no display and no terminal)\n");
        return kAnswerNo;
    }
    for (;;) {
        char answer[64];
        if (!Write(out, "[Y/n] ") || std::fgets(answer, sizeof answer, stdin) == nullptr) {
            return kAnswerNo;
        }
        if (answer[0] == '\n' || answer[0] == 'y' || answer[0] == 'Y') {
            return kAnswerYes;  // Yes is the default
        }
        if (answer[0] == 'n' || answer[0] == 'N') {
            return kAnswerNo;
        }
    }
}

}  // namespace

int ShowMessageBox(const char* text, const char* caption, unsigned style) {
    std::string utf8Text = AsUtf8(text);
    std::string utf8Caption = AsUtf8(caption);
    return HaveDisplay() ? ShowGtkDialog(utf8Text, utf8Caption, style)
                         : ShowOnTerminal(utf8Text, utf8Caption, style);
}

// ---- Progress -------------------------------------------------------------

namespace {

// What the copy publishes for the progress to show, from whatever thread it runs on.
struct Published {
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::uint64_t> total{0};
    std::atomic<const char*> fileName{""};
    std::atomic<bool> finished{false};
};

struct Progress {
    GtkWidget* window = nullptr;
    GtkLabel* file = nullptr;
    GtkProgressBar* bar = nullptr;
    bool terminal = false;  // a line on standard error, rewritten in place
    std::string caption;
    int percent = -1;  // as the terminal line shows it
};

// Often enough that the bar moves smoothly; the window answers its messages meanwhile.
constexpr guint kShowInterval = 50;  // milliseconds
Progress progress;
Published published;

double Fraction() {
    const std::uint64_t total = published.total.load(std::memory_order_relaxed);
    const std::uint64_t done = published.done.load(std::memory_order_relaxed);
    return total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0;
}

void PumpGtk() {
    while (gtk_events_pending()) {
        gtk_main_iteration();
    }
}

// A window without a close button; a request to close it is ignored all the same.
void ShowProgressWindow(const std::string& caption) {
    progress.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(progress.window);
    gtk_window_set_title(window, caption.c_str());
    gtk_window_set_deletable(window, FALSE);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    gtk_window_set_default_size(window, 360, -1);
    g_signal_connect(progress.window, "delete-event", G_CALLBACK(gtk_true), nullptr);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_container_set_border_width(GTK_CONTAINER(box), 16);
    GtkWidget* file = gtk_label_new("");
    gtk_widget_set_halign(file, GTK_ALIGN_START);
    GtkWidget* bar = gtk_progress_bar_new();
    gtk_box_pack_start(GTK_BOX(box), file, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    progress.file = GTK_LABEL(file);
    progress.bar = GTK_PROGRESS_BAR(bar);
    // Assistive technology reads the caption, as for the message boxes.
    atk_object_set_name(gtk_widget_get_accessible(progress.window), caption.c_str());
    gtk_widget_show_all(progress.window);
    PumpGtk();
}

// On the window's thread, every kShowInterval: what the copy published.
gboolean ShowPublished(gpointer) {
    std::string name = AsUtf8(published.fileName.load(std::memory_order_relaxed));
    if (name != gtk_label_get_text(progress.file)) {
        gtk_label_set_text(progress.file, name.c_str());
    }
    gtk_progress_bar_set_fraction(progress.bar, Fraction());
    return G_SOURCE_CONTINUE;
}

// "\rCAPTION: FILE 42%", written again only when it changes; it never gets shorter, so no
// character of an earlier state is left. A terminal that can't be written is left alone.
void WriteTerminalLine(const char* fileName, int percent) {
    if (percent != progress.percent) {
        progress.percent = percent;
        progress.terminal = Write(stderr, "\r" + progress.caption + ": " + fileName + " " +
                                              std::to_string(percent) + "%");
    }
}

// ---- What ends a session ---------------------------------------------------
// A copy is never left halfway by what ends a session, short of SIGKILL: SIGTERM (a logout
// or a shutdown), SIGHUP (its terminal closed), SIGINT and SIGQUIT (Ctrl-C, Ctrl-\) are held
// while it runs and take effect after it; a display connection that goes away waits for it.

constexpr int kHeldSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};
volatile std::sig_atomic_t heldSignal = 0;

void Hold(int signal) {
    heldSignal = signal;
}

class SignalsHeld {
  public:
    SignalsHeld() {
        heldSignal = 0;
        struct sigaction hold {};
        hold.sa_handler = Hold;
        hold.sa_flags = SA_RESTART;
        sigemptyset(&hold.sa_mask);
        for (std::size_t i = 0; i < std::size(kHeldSignals); ++i) {
            sigaction(kHeldSignals[i], &hold, &previous_[i]);
        }
    }
    // The signal held, if any, takes effect now with its own action, as it would have at
    // once; a device that this program mounted is unmounted before.
    ~SignalsHeld() {
        for (std::size_t i = 0; i < std::size(kHeldSignals); ++i) {
            sigaction(kHeldSignals[i], &previous_[i], nullptr);
        }
        if (heldSignal != 0) {
            UnmountWhatThisProgramMounted();
            (void)raise(heldSignal);
        }
    }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

  private:
    struct sigaction previous_[std::size(kHeldSignals)] = {};
};

std::atomic<bool> copyOnItsThread{false};

// GDK ends the process at once when the X display goes away; Xlib lets nobody go on after
// this handler, but a copy in flight may end first, as it would without a display.
int WaitForTheCopy(Display*) {
    while (copyOnItsThread.load()) {
        g_usleep(10000);  // 10 ms
    }
    UnmountWhatThisProgramMounted();
    _exit(1);
}

void WaitForTheCopyIfTheDisplayGoes() {
    if (GDK_IS_X11_DISPLAY(gdk_display_get_default())) {
        XSetIOErrorHandler(WaitForTheCopy);
    }
}

// The copy, on a thread of its own; the window's thread is woken when it is done. The
// signals held go to the window's thread, whose waits are taken up again after them.
bool (*copyToRun)() = nullptr;
gpointer CopyOnItsThread(gpointer) {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : kHeldSignals) {
        sigaddset(&held, signal);
    }
    pthread_sigmask(SIG_BLOCK, &held, nullptr);
    const bool copied = copyToRun();
    copyOnItsThread.store(false);
    published.finished.store(true);
    g_main_context_wakeup(nullptr);
    return GINT_TO_POINTER(copied ? 1 : 0);
}

// The window's own loop runs while the copy writes on a thread of its own, so that a write
// that blocks for seconds never leaves the window unanswered.
bool CopyBesideTheWindow(bool (*copy)()) {
    ShowProgressWindow(progress.caption);
    WaitForTheCopyIfTheDisplayGoes();
    copyToRun = copy;
    copyOnItsThread.store(true);
    GThread* thread = g_thread_try_new("copy", CopyOnItsThread, nullptr, nullptr);
    if (thread == nullptr) {
        copyOnItsThread.store(false);
        gtk_widget_destroy(progress.window);  // not left unanswered while this thread copies
        PumpGtk();
        return copy();
    }
    const guint timer = g_timeout_add(kShowInterval, ShowPublished, nullptr);
    while (!published.finished.load()) {
        g_main_context_iteration(nullptr, TRUE);
    }
    const bool copied = GPOINTER_TO_INT(g_thread_join(thread)) != 0;
    g_source_remove(timer);
    gtk_widget_destroy(progress.window);
    PumpGtk();
    return copied;
}

// Without a display the copy runs on this thread and writes the terminal's line itself,
// when standard error is a terminal; the line ends before the next box.
bool CopyBesideTheTerminalLine(bool (*copy)()) {
    progress.terminal = isatty(STDERR_FILENO) != 0;
    if (progress.terminal) {
        WriteTerminalLine("", 0);
    }
    const bool copied = copy();
    if (progress.terminal) {
        Write(stderr, "\n");
    }
    return copied;
}

}  // namespace

// The copy is the run's only write: a device that this program mounted read-only for the
// check is mounted for writing first.
bool CopyShowingProgress(const char* caption, bool (*copy)()) {
    if (!MountDeviceForWriting()) {
        return false;
    }
    progress = Progress{};
    progress.caption = AsUtf8(caption);
    published.done = 0;
    published.total = 0;
    published.fileName = "";
    published.finished = false;
    bool copied = false;
    {
        SignalsHeld held;
        copied = HaveDisplay() ? CopyBesideTheWindow(copy) : CopyBesideTheTerminalLine(copy);
    }
    progress = Progress{};
    return copied;
}

void AdvanceProgress(std::uint64_t done, std::uint64_t total, const char* fileName) {
    published.done.store(done, std::memory_order_relaxed);
    published.total.store(total, std::memory_order_relaxed);
    published.fileName.store(fileName, std::memory_order_relaxed);
    if (progress.terminal) {
        WriteTerminalLine(fileName, static_cast<int>(Fraction() * 100));
    }
}
