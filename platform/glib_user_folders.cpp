// The user's folders through GLib, which reads the XDG user-directory file.
#include <glib.h>

#include "platform/user_folders.h"

std::string UserPicturesFolder()
{
    // GLib keeps what it read for the process's life; a settings program
    // that runs for long should see the user's current choice.
    g_reload_user_special_dirs_cache();
    const gchar* folder = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES);
    if (folder == nullptr || folder[0] != '/')
        return std::string();
    std::string result(folder);
    while (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result == UserHomeFolder() ? std::string() : result;
}

std::string UserHomeFolder()
{
    const gchar* home = g_get_home_dir();
    if (home == nullptr || home[0] == '\0')
        return std::string();
    std::string result(home);
    while (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}
