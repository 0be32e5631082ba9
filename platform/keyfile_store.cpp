// The preference store as a GLib key file (see preference_store.h).
#include "platform/posix_small_file.h"
#include "platform/preference_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <glib.h>
#include <glib/gstdio.h>
#include <string_view>

namespace {

// A settings file larger than this is not ours: treat it as damaged.
constexpr size_t kMaxStoreBytes = 1u << 20;

std::string DefaultDirectory()
{
    // The XDG rule: a relative XDG_CONFIG_HOME is invalid and ignored.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && xdg[0] == '/')
        base = xdg;
    else
        base = std::string(g_get_home_dir()) + "/.config";
    return base + "/zarnet";
}

// Undoes the key file's value escapes (\s \n \t \r \\) for values that
// GLib refuses to hand back as strings because they are not UTF-8 (file
// names on Linux are bytes). False on an escape the key file never writes.
bool UnescapeRawValue(const char* raw, std::string* out)
{
    std::string s;
    for (const char* p = raw; *p; ++p) {
        if (*p != '\\') {
            s += *p;
            continue;
        }
        ++p;
        switch (*p) {
        case 's':
            s += ' ';
            break;
        case 'n':
            s += '\n';
            break;
        case 't':
            s += '\t';
            break;
        case 'r':
            s += '\r';
            break;
        case '\\':
            s += '\\';
            break;
        default:
            return false;  // includes a trailing lone backslash
        }
    }
    *out = std::move(s);
    return true;
}

// Why the file at `path`, which ReadSmallFile refused, can't be used; empty
// when there is no file at all.
std::string WhyUnreadable(const std::string& path, size_t maxBytes, bool* regularFile)
{
    struct stat st;
    *regularFile = false;
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? std::string()
                                                   : std::string("can't be reached: ") + strerror(errno);
    if (!S_ISREG(st.st_mode))
        return "is not a file";
    *regularFile = true;
    if (static_cast<unsigned long long>(st.st_size) > maxBytes)
        return "is larger than " + std::to_string(maxBytes >> 20) + " MiB";
    return "can't be read";
}

// GLib reads a line only up to its first NUL byte, and drops one carriage
// return before a line's "\n" but none at the end of the file. A save
// writes each value as read with a "\n" after it, so a value that still
// ended in "\r" (the last line of a file with DOS line ends, a line ending
// "\r\r\n", or "\r" before a NUL) would come back without it after the next
// start. Here every line ends at its first NUL and loses the carriage
// returns before its end, so that a setting reads the same before and after
// a save.
void CleanLineEnds(std::string* text)
{
    std::string out;
    out.reserve(text->size());
    for (size_t start = 0; start < text->size();) {
        size_t end = text->find('\n', start);
        const bool lastLine = end == std::string::npos;
        if (lastLine)
            end = text->size();
        size_t stop = std::min(end, text->find('\0', start));
        while (stop > start && (*text)[stop - 1] == '\r')
            --stop;
        out.append(*text, start, stop - start);
        if (!lastLine)
            out += '\n';
        start = end + 1;
    }
    *text = std::move(out);
}

}  // namespace

struct PreferenceStore::State {
    GKeyFile* file = nullptr;  // the module's keys; owned (g_key_file_free)
    std::string group;         // group holding the keys: the module name
    std::string directory;     // folder of the file, no trailing "/"
    std::string path;          // directory + "/" + module + ".conf"
    std::string damage;        // why the file found at `path` couldn't be used; empty = none or read
    bool moveAside = false;    // the next synchronize() first moves the damaged file to keptAs
    std::string keptAs;        // path + ".damaged", once a damaged file was moved there
};

PreferenceStore::PreferenceStore(const char* moduleName, const char* directory) : state_(new State)
{
    state_->group = moduleName ? moduleName : "";
    state_->directory = directory ? directory : DefaultDirectory();
    while (state_->directory.size() > 1 && state_->directory.back() == '/')
        state_->directory.pop_back();
    state_->path = state_->directory + "/" + state_->group + ".conf";
    state_->file = g_key_file_new();

    std::string data;
    if (!ReadSmallFile(state_->path.c_str(), kMaxStoreBytes, &data)) {
        // Absent, or unusable: an empty store either way.
        state_->damage = WhyUnreadable(state_->path, kMaxStoreBytes, &state_->moveAside);
        return;
    }
    CleanLineEnds(&data);
    if (!g_key_file_load_from_data(state_->file, data.data(), data.size(), G_KEY_FILE_KEEP_COMMENTS, nullptr)) {
        // Damaged: start empty; the next synchronize() keeps it aside.
        state_->damage = "is not a settings file";
        state_->moveAside = true;
        g_key_file_free(state_->file);
        state_->file = g_key_file_new();
    }
}

PreferenceStore::~PreferenceStore()
{
    if (state_->file)
        g_key_file_free(state_->file);
    delete state_;
}

bool PreferenceStore::stringForKey(const char* key, std::string* value) const
{
    GError* error = nullptr;
    gchar* s = g_key_file_get_string(state_->file, state_->group.c_str(), key, &error);
    if (s) {
        *value = s;
        g_free(s);
        return true;
    }
    bool notUtf8 = error && error->domain == G_KEY_FILE_ERROR && error->code == G_KEY_FILE_ERROR_UNKNOWN_ENCODING;
    g_clear_error(&error);
    if (!notUtf8)
        return false;
    gchar* raw = g_key_file_get_value(state_->file, state_->group.c_str(), key, nullptr);
    if (!raw)
        return false;
    bool ok = UnescapeRawValue(raw, value);
    g_free(raw);
    return ok;
}

bool PreferenceStore::boolForKey(const char* key) const
{
    GError* error = nullptr;
    gboolean b = g_key_file_get_boolean(state_->file, state_->group.c_str(), key, &error);
    if (error) {
        g_error_free(error);
        return false;
    }
    return b != FALSE;
}

int64_t PreferenceStore::integerForKey(const char* key) const
{
    gchar* raw = g_key_file_get_value(state_->file, state_->group.c_str(), key, nullptr);
    if (!raw)
        return 0;
    // A decimal integer and nothing else; one that doesn't fit 64 bits is
    // not an integer either (rather than pinned to the range's end).
    std::string_view text(raw);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    bool ok = ec == std::errc() && end == text.data() + text.size() && !text.empty();
    g_free(raw);
    return ok ? v : 0;
}

bool PreferenceStore::hasKey(const char* key) const
{
    return g_key_file_has_key(state_->file, state_->group.c_str(), key, nullptr) != FALSE;
}

std::vector<std::string> PreferenceStore::allKeys() const
{
    std::vector<std::string> keys;
    gsize count = 0;
    gchar** names = g_key_file_get_keys(state_->file, state_->group.c_str(), &count, nullptr);
    for (gsize i = 0; names && i < count; ++i)
        keys.emplace_back(names[i]);
    g_strfreev(names);
    return keys;
}

void PreferenceStore::setObject(const char* value, const char* key)
{
    g_key_file_set_string(state_->file, state_->group.c_str(), key, value ? value : "");
}

void PreferenceStore::setBool(bool value, const char* key)
{
    g_key_file_set_boolean(state_->file, state_->group.c_str(), key, value ? TRUE : FALSE);
}

void PreferenceStore::setInteger(int64_t value, const char* key)
{
    g_key_file_set_int64(state_->file, state_->group.c_str(), key, value);
}

bool PreferenceStore::synchronize()
{
    if (g_mkdir_with_parents(state_->directory.c_str(), 0700) != 0)
        return false;
    gsize length = 0;
    gchar* data = g_key_file_to_data(state_->file, &length, nullptr);
    if (!data)
        return false;
    // A damaged file is the user's all the same: it is moved out of the way
    // rather than written over, and put back when the write fails.
    const std::string aside = state_->path + ".damaged";
    if (state_->moveAside && rename(state_->path.c_str(), aside.c_str()) != 0) {
        g_free(data);
        return false;
    }
    // Written to a temporary file beside the target, flushed to the disk and
    // renamed over it: the file holds either the old or the new settings,
    // even after a crash. (g_file_set_contents flushes only when a file of
    // that name exists, which it no longer does once a damaged one is aside.)
    const gboolean ok = g_file_set_contents_full(state_->path.c_str(), data, static_cast<gssize>(length),
                                                 G_FILE_SET_CONTENTS_CONSISTENT, 0666, nullptr);
    g_free(data);
    if (state_->moveAside) {
        if (!ok) {
            rename(aside.c_str(), state_->path.c_str());
            return false;
        }
        state_->moveAside = false;
        state_->keptAs = aside;
    }
    return ok != FALSE;
}

const std::string& PreferenceStore::FilePath() const
{
    return state_->path;
}

const std::string& PreferenceStore::Damage() const
{
    return state_->damage;
}

const std::string& PreferenceStore::DamagedFileKeptAs() const
{
    return state_->keptAs;
}
