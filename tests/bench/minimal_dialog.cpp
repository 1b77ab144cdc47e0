/* tests/bench/minimal_dialog.cpp: the baseline of the Linux start-up benchmark, a program
 * that shows one GTK message dialog and does nothing else. The dialog is built as the
 * updater builds its question, icon included (loading the icon theme is most of a dialog's
 * cost beyond GTK's own start), so that the ratio measures what the updater adds. */
#include <gtk/gtk.h>

int main() {
    if (!gtk_init_check(nullptr, nullptr)) {
        return 1;
    }
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                                               GTK_BUTTONS_YES_NO, "Firmware check");
    gtk_window_set_title(GTK_WINDOW(dialog), "Dravon Updater");
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* image = gtk_image_new_from_icon_name("dialog-question", GTK_ICON_SIZE_DIALOG);
    gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(dialog), image);
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_widget_show(image);
    gtk_dialog_run(GTK_DIALOG(dialog));
    return 0;
}
