/* tests/bench/minimal_dialog.cpp: the baseline of the Linux start-up benchmark, a program
 * that shows one GTK message dialog and does nothing else. */
#include <gtk/gtk.h>

int main() {
    if (!gtk_init_check(nullptr, nullptr)) {
        return 1;
    }
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                                               GTK_BUTTONS_YES_NO, "Firmware check");
    gtk_window_set_title(GTK_WINDOW(dialog), "Dravon Updater");
    gtk_dialog_run(GTK_DIALOG(dialog));
    return 0;
}
