/* tests/bench/minimal_dialog.cpp: the baseline of the Linux start-up benchmark, a program
 * that shows one GTK message dialog and does nothing else. The dialog is the updater's
 * question as the benchmark's bundle makes it, built the same way, icon included (loading
 * the icon theme is most of a dialog's cost beyond GTK's own start), so that the ratio
 * measures what the updater adds: its checks before the dialog. */
#include <gtk/gtk.h>

int main() {
    if (!gtk_init_check(nullptr, nullptr)) {
        return 1;
    }
    GtkWidget* dialog = gtk_message_dialog_new(
        nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, "%s",
        "Firmware on the device : 1.00\nFirmware in this update : 1.01\n\nDo you want to copy "
        "this update to the device?\nDo not disconnect the device while the files are copied.");
    gtk_window_set_title(GTK_WINDOW(dialog), "Dravon Updater");
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_YES);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* image = gtk_image_new_from_icon_name("dialog-question", GTK_ICON_SIZE_DIALOG);
    gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(dialog), image);
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_widget_show(image);
    atk_object_set_name(gtk_widget_get_accessible(dialog), "Dravon Updater");
    gtk_dialog_run(GTK_DIALOG(dialog));
    return 0;
}
