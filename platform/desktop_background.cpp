// The running desktop's wallpaper: GSettings for GNOME, Cinnamon and MATE,
// XFCE's desktop channel file for per-monitor pictures, KDE Plasma's desktop
// containments, PCManFM-Qt (LXQt) and PCManFM (LXDE), and the wallpaper
// setters feh and nitrogen. A setting may name a picture, a GNOME background
// description (XML) or a wallpaper package folder; the last two are resolved
// to the picture that best fits the screen.
#include "platform/desktop_background.h"
#include "platform/join_path.h"
#include "platform/posix_small_file.h"
#include "platform/setting_lines.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gio/gio.h>
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gsettingsbackend.h>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr size_t kMaxXfceFileBytes = 1u << 20;
// Every other settings file or background description read here.
constexpr size_t kMaxConfigFileBytes = 1u << 20;

// One desktop's wallpaper key.
struct WallpaperKey {
    const char* desktop;  // lower-case name as XDG_CURRENT_DESKTOP gives it
    const char* schema;   // GSettings schema id
    const char* key;      // a file URI or a path
};

constexpr WallpaperKey kGnome = {"gnome", "org.gnome.desktop.background", "picture-uri"};
constexpr WallpaperKey kCinnamon = {"cinnamon", "org.cinnamon.desktop.background", "picture-uri"};
constexpr WallpaperKey kMate = {"mate", "org.mate.background", "picture-filename"};

bool IsReadableFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A wallpaper value as a local path: "file://" URIs are decoded, absolute
// paths taken as they are; anything else (other schemes, "") gives "".
std::string ToLocalPath(const char* value)
{
    if (!value || !value[0])
        return {};
    if (value[0] == '/')
        return value;
    if (g_ascii_strncasecmp(value, "file:", 5) != 0)
        return {};
    gchar* host = nullptr;
    gchar* path = g_filename_from_uri(value, &host, nullptr);
    std::string result;
    if (path && (!host || g_ascii_strcasecmp(host, "localhost") == 0))
        result = path;
    g_free(path);
    g_free(host);
    return result;
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// $HOME, else the password database's home folder.
std::string HomeDir()
{
    const char* home = std::getenv("HOME");
    return home && home[0] == '/' ? std::string(home) : std::string(g_get_home_dir());
}

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config (read on
// every call: the look-up happens once per run, and tests move it).
std::string ConfigHome()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    return xdg && xdg[0] == '/' ? std::string(xdg) : HomeDir() + "/.config";
}

// One picture of a set offered in several sizes.
struct SizedPicture {
    std::string path;  // the picture file
    int width;         // pixels, as the set declares them (0: unknown)
    int height;
};

// The picture of a set that fits a width x height screen best: closest in
// aspect, then the smallest that covers the screen, else the largest. A
// picture of unknown size counts only when none has a size. "" for none.
std::string BestFit(const std::vector<SizedPicture>& set, int width, int height)
{
    const SizedPicture* best = nullptr;
    const double aspect = width > 0 && height > 0 ? double(width) / height : 16.0 / 9.0;
    auto mismatch = [&](const SizedPicture& p) {
        // Aspects within 2 % of each other count as the same.
        return std::round(std::fabs(std::log(double(p.width) / p.height / aspect)) * 50.0);
    };
    auto covers = [&](const SizedPicture& p) { return p.width >= width && p.height >= height; };
    auto area = [](const SizedPicture& p) { return double(p.width) * p.height; };
    for (const SizedPicture& p : set) {
        if (p.width <= 0 || p.height <= 0)
            continue;
        if (!best) {
            best = &p;
            continue;
        }
        const double m = mismatch(p), mb = mismatch(*best);
        if (m != mb) {
            if (m < mb)
                best = &p;
            continue;
        }
        if (covers(p) != covers(*best)) {
            if (covers(p))
                best = &p;
        } else if (covers(p) ? area(p) < area(*best) : area(p) > area(*best)) {
            best = &p;
        }
    }
    if (best)
        return best->path;
    return set.empty() ? std::string() : set.front().path;
}

// GNOME's background description:
//   <background><static><duration>..</duration><file>PATH</file></static>
//   or <file><size width="W" height="H">PATH</size>...</file>, and for a
//   slide show more <static> and <transition> elements.
// The first <static> element's pictures are collected.
struct GnomeXmlParse {
    std::vector<std::string> stack;  // open element names
    bool inFirstStatic = false;      // inside the first <static>
    bool staticDone = false;         // the first <static> has ended
    std::vector<SizedPicture> set;   // its pictures
    int width = 0;                   // of the <size> element being read
    int height = 0;
    std::string text;  // text of the <file> or <size> element being read
};

int AttributeInt(const gchar** names, const gchar** values, const char* name)
{
    for (int i = 0; names[i]; ++i)
        if (std::strcmp(names[i], name) == 0) {
            char* end = nullptr;
            long v = std::strtol(values[i], &end, 10);
            return end != values[i] && v > 0 && v < 1000000 ? static_cast<int>(v) : 0;
        }
    return 0;
}

void GnomeXmlStart(GMarkupParseContext*, const gchar* element, const gchar** names, const gchar** values, gpointer data,
                   GError**)
{
    auto* p = static_cast<GnomeXmlParse*>(data);
    p->stack.emplace_back(element);
    if (p->stack.size() == 2 && p->stack[0] == "background" && !std::strcmp(element, "static") && !p->staticDone)
        p->inFirstStatic = true;
    if (p->inFirstStatic && (!std::strcmp(element, "file") || !std::strcmp(element, "size"))) {
        p->text.clear();
        p->width = AttributeInt(names, values, "width");
        p->height = AttributeInt(names, values, "height");
    }
}

void GnomeXmlText(GMarkupParseContext*, const gchar* text, gsize length, gpointer data, GError**)
{
    auto* p = static_cast<GnomeXmlParse*>(data);
    if (p->inFirstStatic && !p->stack.empty() && (p->stack.back() == "file" || p->stack.back() == "size"))
        p->text.append(text, length);
}

void GnomeXmlEnd(GMarkupParseContext*, const gchar* element, gpointer data, GError**)
{
    auto* p = static_cast<GnomeXmlParse*>(data);
    if (p->inFirstStatic && (!std::strcmp(element, "file") || !std::strcmp(element, "size"))) {
        gchar* path = g_strstrip(g_strdup(p->text.c_str()));
        if (path[0])
            p->set.push_back({path, p->width, p->height});
        g_free(path);
        p->text.clear();
    }
    if (p->inFirstStatic && !std::strcmp(element, "static") && p->stack.size() == 2) {
        p->inFirstStatic = false;
        p->staticDone = true;
    }
    if (!p->stack.empty())
        p->stack.pop_back();
}

// The picture of a GNOME background description for a width x height
// screen; "" when the file is no such description or names no picture.
std::string PictureOfGnomeXml(const std::string& file, int width, int height)
{
    std::string xml;
    if (!ReadSmallFile(file.c_str(), kMaxConfigFileBytes, &xml) || xml.find("<background") == std::string::npos)
        return {};
    GnomeXmlParse parse;
    GMarkupParser parser = {GnomeXmlStart, GnomeXmlEnd, GnomeXmlText, nullptr, nullptr};
    GMarkupParseContext* context = g_markup_parse_context_new(&parser, G_MARKUP_DEFAULT_FLAGS, &parse, nullptr);
    g_markup_parse_context_parse(context, xml.data(), static_cast<gssize>(xml.size()), nullptr);
    g_markup_parse_context_free(context);  // a damaged tail still leaves what came before it
    std::vector<SizedPicture> pictures;
    for (SizedPicture& p : parse.set) {
        // Relative names are relative to the description's folder.
        std::string path = p.path[0] == '/' || p.path.rfind("file:", 0) == 0
                               ? ToLocalPath(p.path.c_str())
                               : file.substr(0, file.rfind('/') + 1) + p.path;
        if (IsReadableFile(path))
            pictures.push_back({path, p.width, p.height});
    }
    return BestFit(pictures, width, height);
}

// The picture of a wallpaper package (KDE's layout, also Debian's themes):
// FOLDER/contents/images/WIDTHxHEIGHT.EXT, the size best fitting the screen.
// "" when the folder holds no such picture.
std::string PictureOfPackage(const std::string& folder, int width, int height)
{
    const std::string images = JoinPath(folder, "contents/images/");
    GDir* dir = g_dir_open(images.c_str(), 0, nullptr);
    if (!dir)
        return {};
    std::vector<SizedPicture> set;
    for (const gchar* name; (name = g_dir_read_name(dir)) != nullptr && set.size() < 1000;) {
        unsigned w = 0, h = 0;
        char dot = 0;
        if (std::sscanf(name, "%5ux%5u%c", &w, &h, &dot) == 3 && dot == '.' && w > 0 && h > 0 &&
            IsReadableFile(images + name))
            set.push_back({images + name, static_cast<int>(w), static_cast<int>(h)});
    }
    g_dir_close(dir);
    // Directory order is arbitrary: sort so that equal fits choose the same file.
    std::sort(set.begin(), set.end(), [](const SizedPicture& a, const SizedPicture& b) { return a.path < b.path; });
    return BestFit(set, width, height);
}

// A wallpaper setting's value made into a picture file for a width x height
// screen: a picture as it is, a GNOME background description or a wallpaper
// package resolved; "" when it names nothing usable.
std::string ResolvePicture(const std::string& path, int width, int height)
{
    if (path.empty())
        return {};
    if (IsDirectory(path))
        return PictureOfPackage(path, width, height);
    if (!IsReadableFile(path))
        return {};
    const size_t n = path.size();
    if (n > 4 && g_ascii_strcasecmp(path.c_str() + n - 4, ".xml") == 0)
        return PictureOfGnomeXml(path, width, height);
    return path;
}

// The size of the screen numbered `number`, else the main screen's.
void ScreenSize(const ScreenList& screens, const ScreenInfo* screen, int* width, int* height)
{
    if (!screen)
        screen = screens.MainScreen();
    *width = screen ? screen->frame.width : 0;
    *height = screen ? screen->frame.height : 0;
}

// Adds `value` (a path or URI) for `screen` (null: "default") when it
// resolves to a picture; an entry already there is kept. True when added.
bool AddPicture(const ScreenList& screens, const ScreenInfo* screen, const std::string& value, DesktopBackground* bg)
{
    int w = 0, h = 0;
    ScreenSize(screens, screen, &w, &h);
    std::string picture = ResolvePicture(ToLocalPath(value.c_str()), w, h);
    if (picture.empty())
        return false;
    return bg->imageFilePath.emplace(screen ? std::to_string(screen->number) : "default", picture).second;
}

// The main screen's picture also becomes "default" when there is none yet;
// failing that, the first screen's.
void DefaultFromScreens(const ScreenList& screens, DesktopBackground* bg)
{
    if (bg->imageFilePath.count("default"))
        return;
    const ScreenInfo* main = screens.MainScreen();
    auto it = main ? bg->imageFilePath.find(std::to_string(main->number)) : bg->imageFilePath.end();
    if (it == bg->imageFilePath.end())
        it = bg->imageFilePath.begin();
    if (it != bg->imageFilePath.end())
        bg->imageFilePath.emplace("default", it->second);
}

// The lower-cased names of XDG_CURRENT_DESKTOP ("X-Cinnamon" -> "cinnamon").
std::vector<std::string> DesktopNames(const char* override)
{
    const char* value = override ? override : std::getenv("XDG_CURRENT_DESKTOP");
    std::vector<std::string> names;
    std::string current;
    for (const char* p = value ? value : "";; ++p) {
        if (*p == ':' || *p == '\0') {
            if (current.rfind("x-", 0) == 0)
                current.erase(0, 2);
            if (!current.empty())
                names.push_back(current);
            current.clear();
            if (*p == '\0')
                break;
        } else {
            current += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
        }
    }
    return names;
}

bool Names(const std::vector<std::string>& names, const char* desktop)
{
    return std::find(names.begin(), names.end(), desktop) != names.end();
}

// Reads GSettings keys without ever naming a schema that isn't installed
// (g_settings_new aborts on those).
class SettingsReader {
public:
    explicit SettingsReader(const char* schemaDir)
    {
        if (schemaDir) {
            source_ = g_settings_schema_source_new_from_directory(schemaDir, nullptr, TRUE, nullptr);
            if (source_)
                backend_ = g_memory_settings_backend_new();
        } else {
            source_ = g_settings_schema_source_get_default();
            if (source_)
                g_settings_schema_source_ref(source_);
        }
    }
    ~SettingsReader()
    {
        if (backend_)
            g_object_unref(backend_);
        if (source_)
            g_settings_schema_source_unref(source_);
    }
    SettingsReader(const SettingsReader&) = delete;
    SettingsReader& operator=(const SettingsReader&) = delete;

    // The string under `key` of `schema`; false when the schema or key is
    // missing or the key is not a string.
    bool String(const char* schemaId, const char* key, std::string* value) const
    {
        if (!source_)
            return false;
        GSettingsSchema* schema = g_settings_schema_source_lookup(source_, schemaId, TRUE);
        if (!schema)
            return false;
        bool ok = false;
        // A relocatable schema (no path of its own) would abort g_settings_new_full.
        if (g_settings_schema_get_path(schema) && g_settings_schema_has_key(schema, key)) {
            GSettingsSchemaKey* k = g_settings_schema_get_key(schema, key);
            bool isString = g_variant_type_equal(g_settings_schema_key_get_value_type(k), G_VARIANT_TYPE_STRING);
            g_settings_schema_key_unref(k);
            if (isString) {
                GSettings* settings = g_settings_new_full(schema, backend_, nullptr);
                gchar* s = g_settings_get_string(settings, key);
                *value = s ? s : "";
                g_free(s);
                g_object_unref(settings);
                ok = true;
            }
        }
        g_settings_schema_unref(schema);
        return ok;
    }

private:
    GSettingsSchemaSource* source_ = nullptr;  // owned reference
    GSettingsBackend* backend_ = nullptr;      // memory backend for a test folder; null = the default one
};

// The wallpaper of one GSettings desktop as an existing local picture for a
// width x height screen, or "".
std::string GSettingsWallpaper(const SettingsReader& reader, const WallpaperKey& w, int width, int height)
{
    std::string value;
    if (w.schema == kGnome.schema) {
        // GNOME shows a second picture while the dark style is chosen.
        std::string scheme;
        if (reader.String("org.gnome.desktop.interface", "color-scheme", &scheme) && scheme == "prefer-dark" &&
            reader.String(w.schema, "picture-uri-dark", &value)) {
            std::string path = ResolvePicture(ToLocalPath(value.c_str()), width, height);
            if (!path.empty())
                return path;
        }
    }
    if (!reader.String(w.schema, w.key, &value))
        return {};
    return ResolvePicture(ToLocalPath(value.c_str()), width, height);
}

// Collects XFCE's per-monitor pictures from its desktop channel file:
//   <channel name="xfce4-desktop"><property name="backdrop"><property name="screen0">
//     <property name="monitorNAME"><property name="workspace0">
//       <property name="last-image" type="string" value="/path"/>
struct XfceParse {
    std::vector<std::string> stack;            // names of the open elements' properties ("\x01" for other elements)
    std::map<std::string, std::string> image;  // monitor suffix -> picture path
    std::map<std::string, int> rank;           // monitor suffix -> rank of the picture kept
};

// How good a picture property is: 3 workspace 0's last image, 2 the
// monitor's last image, 1 its image path, 0 another workspace's; -1 none.
int RankOf(const std::vector<std::string>& path, std::string* monitor)
{
    if (path.size() < 4 || path[0] != "backdrop" || path[1] != "screen0" || path[2].rfind("monitor", 0) != 0)
        return -1;
    *monitor = path[2].substr(7);
    const std::string& leaf = path.back();
    if (path.size() == 4) {
        if (leaf == "last-image")
            return 2;
        return leaf == "image-path" ? 1 : -1;
    }
    if (path.size() == 5 && leaf == "last-image" && path[3].rfind("workspace", 0) == 0)
        return path[3] == "workspace0" ? 3 : 0;
    return -1;
}

void XfceStart(GMarkupParseContext*, const gchar* element, const gchar** names, const gchar** values, gpointer data,
               GError**)
{
    XfceParse* p = static_cast<XfceParse*>(data);
    if (std::strcmp(element, "property") != 0) {
        p->stack.emplace_back("\x01");  // keeps the stack in step with end tags
        return;
    }
    const char* name = "";
    const char* type = "";
    const char* value = nullptr;
    for (int i = 0; names[i]; ++i) {
        if (std::strcmp(names[i], "name") == 0)
            name = values[i];
        else if (std::strcmp(names[i], "type") == 0)
            type = values[i];
        else if (std::strcmp(names[i], "value") == 0)
            value = values[i];
    }
    p->stack.emplace_back(name);
    if (!value || std::strcmp(type, "string") != 0)
        return;
    std::vector<std::string> path;
    for (const std::string& n : p->stack)
        if (n != "\x01")
            path.push_back(n);
    std::string monitor;
    int rank = RankOf(path, &monitor);
    if (rank < 0)
        return;
    std::string file = ToLocalPath(value);
    if (file.empty() || !IsReadableFile(file))
        return;
    auto it = p->rank.find(monitor);
    if (it == p->rank.end() || rank > it->second) {
        p->rank[monitor] = rank;
        p->image[monitor] = file;
    }
}

void XfceEnd(GMarkupParseContext*, const gchar*, gpointer data, GError**)
{
    XfceParse* p = static_cast<XfceParse*>(data);
    if (!p->stack.empty())
        p->stack.pop_back();
}

std::string XfceDesktopFile(const char* override)
{
    if (override)
        return override;
    return ConfigHome() + "/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml";
}

// Adds XFCE's per-monitor pictures under the screens' numbers; the main
// screen's picture also becomes "default" when there is none yet.
void AddXfceBackgrounds(const std::string& file, const ScreenList& screens, DesktopBackground* bg)
{
    std::string xml;
    if (!ReadSmallFile(file.c_str(), kMaxXfceFileBytes, &xml))
        return;
    XfceParse parse;
    GMarkupParser parser = {XfceStart, XfceEnd, nullptr, nullptr, nullptr};
    GMarkupParseContext* context = g_markup_parse_context_new(&parser, G_MARKUP_DEFAULT_FLAGS, &parse, nullptr);
    bool ok = g_markup_parse_context_parse(context, xml.data(), static_cast<gssize>(xml.size()), nullptr) &&
              g_markup_parse_context_end_parse(context, nullptr);
    g_markup_parse_context_free(context);
    if (!ok)
        return;  // a damaged file says nothing

    for (const auto& [monitor, path] : parse.image) {
        // "monitorHDMI-1" names the RandR monitor; older files count them ("monitor0").
        const ScreenInfo* screen = nullptr;
        for (const ScreenInfo& s : screens.screens)
            if (!s.name.empty() && s.name == monitor)
                screen = &s;
        if (!screen && !monitor.empty() && monitor.size() < 6 &&
            std::all_of(monitor.begin(), monitor.end(), [](char c) { return c >= '0' && c <= '9'; }))
            screen = screens.FindNumber(std::atoi(monitor.c_str()));
        if (screen)
            bg->imageFilePath.emplace(std::to_string(screen->number), path);
    }
    DefaultFromScreens(screens, bg);
}

// KDE's configuration files (KConfig): "[A][B][C]" group headers that GKeyFile
// refuses, "Key=Value" lines with escapes (\s \t \n \r \\ \xHH), keys with
// flags ("Image[$e]") and comments. Groups are kept as their header's inner
// text, "A][B][C".
using KConfigGroups = std::map<std::string, std::map<std::string, std::string>>;

std::string KConfigUnescape(const std::string& raw)
{
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 >= raw.size()) {
            out += raw[i];
            continue;
        }
        const char c = raw[++i];
        switch (c) {
        case 's':
            out += ' ';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 'x':
            if (i + 2 < raw.size() && std::isxdigit(static_cast<unsigned char>(raw[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(raw[i + 2]))) {
                out += static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
                i += 2;
            }
            break;
        default:
            out += c;
            break;  // "\\" and anything unknown: the character itself
        }
    }
    return out;
}

bool ReadKConfig(const std::string& file, KConfigGroups* groups)
{
    std::string text;
    if (!ReadSmallFile(file.c_str(), kMaxConfigFileBytes, &text))
        return false;
    std::string group;
    ForEachLine(text, [&](std::string_view whole) {
        const std::string_view line = TrimSettingBlanks(whole);
        if (line.empty() || line[0] == '#')
            return;
        if (line[0] == '[') {
            const size_t close = line.rfind(']');
            group =
                close != std::string_view::npos && close > 0 ? std::string(line.substr(1, close - 1)) : std::string();
            return;
        }
        // The line starts with no blank, so only "=value" has an empty key.
        std::string key, value;
        if (!SplitSettingLine(line, '=', &key, &value, " \t") || key.empty())
            return;
        const bool expand = key.find("[$e]") != std::string::npos;
        if (const size_t flags = key.find("[$"); flags != std::string::npos)
            key.erase(flags);  // "Image[$e]" is "Image"; a localised "Name[de]" stays apart
        value = KConfigUnescape(value);
        if (expand && value.rfind("$HOME", 0) == 0)
            value = HomeDir() + value.substr(5);
        (*groups)[group][key] = value;
    });
    return true;
}

// KDE Plasma: each desktop containment of plasma-org.kde.plasma.desktop-appletsrc
// shows a wallpaper on one screen:
//   [Containments][N]  lastScreen=S, activityId=..., wallpaperplugin=org.kde.image
//   [Containments][N][Wallpaper][org.kde.image][General]  Image=file:///...
// Plasma numbers its screens from 0 for the primary one; plasmashellrc's
// [ScreenConnectors] names the output of each number. With several
// activities, the current one's containment is taken.
void AddPlasmaBackgrounds(const ScreenList& screens, DesktopBackground* bg)
{
    const std::string config = ConfigHome();
    KConfigGroups applets, shell, activities;
    if (!ReadKConfig(config + "/plasma-org.kde.plasma.desktop-appletsrc", &applets))
        return;
    ReadKConfig(config + "/plasmashellrc", &shell);
    ReadKConfig(config + "/kactivitymanagerdrc", &activities);
    const std::string current = activities["main"]["currentActivity"];
    const std::map<std::string, std::string>& connectors = shell["ScreenConnectors"];

    struct Found {
        std::string image;
        bool currentActivity;
    };
    std::map<int, Found> byScreen;  // Plasma's screen number -> picture
    for (const auto& [name, keys] : applets) {
        // "Containments][N" with a wallpaper of the picture plugin.
        if (name.rfind("Containments][", 0) != 0 || name.find(']', 14) != std::string::npos)
            continue;
        auto plugin = keys.find("wallpaperplugin");
        if (plugin != keys.end() && plugin->second != "org.kde.image")
            continue;
        auto screenKey = keys.find("lastScreen");
        if (screenKey == keys.end())
            continue;
        char* end = nullptr;
        const long screen = std::strtol(screenKey->second.c_str(), &end, 10);
        if (end == screenKey->second.c_str() || screen < 0 || screen > 64)
            continue;
        auto general = applets.find(name + "][Wallpaper][org.kde.image][General");
        if (general == applets.end() || !general->second.count("Image"))
            continue;
        auto activity = keys.find("activityId");
        const bool isCurrent = !current.empty() && activity != keys.end() && activity->second == current;
        auto known = byScreen.find(static_cast<int>(screen));
        if (known == byScreen.end() || (isCurrent && !known->second.currentActivity))
            byScreen[static_cast<int>(screen)] = {general->second.at("Image"), isCurrent};
    }
    for (const auto& [number, found] : byScreen) {
        const ScreenInfo* screen = nullptr;
        auto connector = connectors.find(std::to_string(number));
        if (connector != connectors.end())
            for (const ScreenInfo& s : screens.screens)
                if (!s.name.empty() && s.name == connector->second)
                    screen = &s;
        // Without the connector, Plasma's order: primary first, as our list.
        if (!screen && connector == connectors.end() && size_t(number) < screens.screens.size())
            screen = &screens.screens[size_t(number)];
        if (screen)
            AddPicture(screens, screen, found.image, bg);
        else if (number == 0)
            AddPicture(screens, nullptr, found.image, bg);
    }
    DefaultFromScreens(screens, bg);
}

// A key file's raw value (no GKeyFile unescaping, which QSettings files
// don't follow), or "".
std::string KeyFileValue(GKeyFile* file, const char* group, const char* key)
{
    gchar* value = g_key_file_get_value(file, group, key, nullptr);
    std::string result = value ? value : "";
    g_free(value);
    return result;
}

// GKeyFile's unescaping (\s \n \t \r \\) of a value read raw.
std::string KeyFileString(GKeyFile* file, const char* group, const char* key)
{
    gchar* value = g_key_file_get_string(file, group, key, nullptr);
    std::string result = value ? value : "";
    g_free(value);
    return result;
}

GKeyFile* LoadKeyFile(const std::string& path)
{
    std::string text;
    if (!ReadSmallFile(path.c_str(), kMaxConfigFileBytes, &text))
        return nullptr;
    GKeyFile* file = g_key_file_new();
    if (!g_key_file_load_from_data(file, text.data(), text.size(), G_KEY_FILE_NONE, nullptr)) {
        g_key_file_free(file);
        return nullptr;
    }
    return file;
}

// A QSettings value: "quoted" when it holds special characters, with
// backslash escapes inside the quotes (\" \\ \xHHHH for a character beyond
// ASCII in files written without a codec).
std::string QSettingsString(const std::string& raw)
{
    if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"')
        return raw;
    std::string out;
    for (size_t i = 1; i + 1 < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 2 >= raw.size()) {
            out += raw[i];
            continue;
        }
        const char c = raw[++i];
        if (c == 'x') {
            size_t j = i + 1;
            unsigned code = 0;
            while (j + 1 < raw.size() && j < i + 5 && std::isxdigit(static_cast<unsigned char>(raw[j])))
                code = code * 16 + static_cast<unsigned>(std::stoi(std::string(1, raw[j++]), nullptr, 16));
            if (j > i + 1) {
                char utf8[8];
                out.append(utf8, static_cast<size_t>(g_unichar_to_utf8(code, utf8)));
            }
            i = j - 1;
        } else {
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
        }
    }
    return out;
}

// LXQt's desktop (PCManFM-Qt): $XDG_CONFIG_HOME/pcmanfm-qt/PROFILE/settings.conf,
// [Desktop] Wallpaper=; the session's profile is "lxqt", "default" otherwise.
void AddPcmanfmQtBackground(const ScreenList& screens, DesktopBackground* bg)
{
    for (const char* profile : {"lxqt", "default"}) {
        GKeyFile* file = LoadKeyFile(ConfigHome() + "/pcmanfm-qt/" + profile + "/settings.conf");
        if (!file)
            continue;
        std::string const mode = KeyFileValue(file, "Desktop", "WallpaperMode");
        std::string const wallpaper = QSettingsString(KeyFileValue(file, "Desktop", "Wallpaper"));
        g_key_file_free(file);
        if (mode != "none" && AddPicture(screens, nullptr, wallpaper, bg))
            return;
    }
}

// LXDE's desktop (PCManFM): $XDG_CONFIG_HOME/pcmanfm/PROFILE/desktop-items-M.conf
// for monitor M, group [*], wallpaper= (or, with one picture per workspace,
// wallpaper0= for the first). The profile is "LXDE", another "LXDE..." (as
// LXDE-pi), else "default".
void AddPcmanfmBackgrounds(const ScreenList& screens, DesktopBackground* bg)
{
    const std::string base = ConfigHome() + "/pcmanfm/";
    std::vector<std::string> profiles;
    if (GDir* dir = g_dir_open(base.c_str(), 0, nullptr)) {
        for (const gchar* name; (name = g_dir_read_name(dir)) != nullptr && profiles.size() < 100;)
            if (std::strncmp(name, "LXDE", 4) == 0 && std::strcmp(name, "LXDE") != 0)
                profiles.emplace_back(name);
        g_dir_close(dir);
    }
    std::sort(profiles.begin(), profiles.end());
    profiles.insert(profiles.begin(), "LXDE");
    profiles.emplace_back("default");
    for (const std::string& profile : profiles) {
        for (const ScreenInfo& screen : screens.screens) {
            GKeyFile* file = LoadKeyFile(base + profile + "/desktop-items-" + std::to_string(screen.number) + ".conf");
            if (!file)
                continue;
            std::string const mode = KeyFileString(file, "*", "wallpaper_mode");
            std::string wallpaper = KeyFileString(file, "*", "wallpaper");
            if (KeyFileString(file, "*", "wallpaper_common") == "0" &&
                g_key_file_has_key(file, "*", "wallpaper0", nullptr))
                wallpaper = KeyFileString(file, "*", "wallpaper0");
            g_key_file_free(file);
            if (mode != "color")
                AddPicture(screens, &screen, wallpaper, bg);
        }
        if (!bg->imageFilePath.empty())
            break;
    }
    DefaultFromScreens(screens, bg);
}

// The words of a shell command line: quotes ('...', "...") and backslashes
// as sh reads them; no expansion.
std::vector<std::string> ShellWords(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\'') {
            const size_t close = line.find('\'', i + 1);
            if (close == std::string::npos)
                return {};  // unterminated: not a command we can read
            word += line.substr(i + 1, close - i - 1);
            i = close;
            inWord = true;
        } else if (c == '"') {
            ++i;
            for (; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size() && std::strchr("\\\"$`", line[i + 1]))
                    ++i;
                word += line[i];
            }
            if (i >= line.size())
                return {};
            inWord = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == ';' || c == '&') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
            if (c == ';' || c == '&')
                break;  // one command per line is enough
        } else if (c == '#' && !inWord) {
            break;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

// feh's ~/.fehbg, the script feh writes when it sets the wallpaper:
//   feh --no-fehbg --bg-fill '/path/one.jpg' '/path/two.jpg'
// Its picture arguments are absolute paths, one per Xinerama screen in
// order (the primary first, as our list); a single one covers every screen.
void AddFehBackgrounds(const ScreenList& screens, DesktopBackground* bg)
{
    std::string script;
    if (!ReadSmallFile((HomeDir() + "/.fehbg").c_str(), kMaxConfigFileBytes, &script))
        return;
    size_t start = 0;
    while (start < script.size()) {
        size_t end = script.find('\n', start);
        if (end == std::string::npos)
            end = script.size();
        std::vector<std::string> words = ShellWords(script.substr(start, end - start));
        start = end + 1;
        if (words.empty())
            continue;
        const std::string& command = words[0];
        if (command != "feh" && (command.size() < 4 || command.compare(command.size() - 4, 4, "/feh") != 0))
            continue;
        std::vector<std::string> pictures;
        for (size_t i = 1; i < words.size(); ++i)
            if (!words[i].empty() && words[i][0] == '/')
                pictures.push_back(words[i]);
        if (pictures.size() == 1) {
            AddPicture(screens, nullptr, pictures[0], bg);
        } else {
            for (size_t i = 0; i < pictures.size() && i < screens.screens.size(); ++i)
                AddPicture(screens, &screens.screens[i], pictures[i], bg);
            DefaultFromScreens(screens, bg);
        }
        return;
    }
}

// nitrogen's $XDG_CONFIG_HOME/nitrogen/bg-saved.cfg: a group per target,
// "xin_-1" for the whole desktop, "xin_N" for Xinerama screen N, ":0.0" for
// an X screen; file= names the picture.
void AddNitrogenBackgrounds(const ScreenList& screens, DesktopBackground* bg)
{
    GKeyFile* file = LoadKeyFile(ConfigHome() + "/nitrogen/bg-saved.cfg");
    if (!file)
        return;
    gsize count = 0;
    gchar** groups = g_key_file_get_groups(file, &count);
    for (gsize i = 0; i < count; ++i) {
        std::string const group = groups[i];
        std::string const picture = KeyFileString(file, groups[i], "file");
        if (group == "xin_-1" || (!group.empty() && group[0] == ':')) {
            AddPicture(screens, nullptr, picture, bg);
        } else if (group.rfind("xin_", 0) == 0 && group.size() > 4 && group.size() < 8 &&
                   std::all_of(group.begin() + 4, group.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            const size_t index = std::stoul(group.substr(4));
            if (index < screens.screens.size())
                AddPicture(screens, &screens.screens[index], picture, bg);
        }
    }
    g_strfreev(groups);
    g_key_file_free(file);
    DefaultFromScreens(screens, bg);
}

}  // namespace

DesktopBackground ReadDesktopBackground(const ScreenList& screens, const DesktopBackgroundSources& sources)
{
    DesktopBackground bg;
    std::vector<std::string> names = DesktopNames(sources.currentDesktop);
    auto found = [&bg] { return bg.imageFilePath.count("default") != 0; };
    auto xfce = [&] { AddXfceBackgrounds(XfceDesktopFile(sources.xfceDesktopXml), screens, &bg); };

    // GSettings: the running desktop's key first, then the others in a
    // fixed order. A schema that is installed has a value even when its
    // desktop never ran, so a session of another desktop reads its own
    // files first.
    bool gsettingsRead = false;
    auto gsettings = [&] {
        if (gsettingsRead)
            return;
        gsettingsRead = true;
        std::vector<WallpaperKey> order;
        if (Names(names, "cinnamon"))
            order.push_back(kCinnamon);
        if (Names(names, "mate"))
            order.push_back(kMate);
        for (const WallpaperKey& w : {kGnome, kCinnamon, kMate})
            if (std::none_of(order.begin(), order.end(), [&](const WallpaperKey& o) { return o.schema == w.schema; }))
                order.push_back(w);
        int width = 0, height = 0;
        ScreenSize(screens, nullptr, &width, &height);
        SettingsReader reader(sources.schemaDir);
        for (const WallpaperKey& w : order) {
            std::string path = GSettingsWallpaper(reader, w, width, height);
            if (!path.empty()) {
                bg.imageFilePath.emplace("default", path);
                break;
            }
        }
    };

    // The desktops the session names, in its order.
    bool known = false;
    for (const std::string& name : names) {
        if (found())
            break;
        if (name == "xfce")
            xfce();
        else if (name == "kde")
            AddPlasmaBackgrounds(screens, &bg);
        else if (name == "lxqt")
            AddPcmanfmQtBackground(screens, &bg);
        else if (name == "lxde")
            AddPcmanfmBackgrounds(screens, &bg);
        else if (name == "gnome" || name == "cinnamon" || name == "mate")
            gsettings();
        else
            continue;
        known = true;
    }
    // A window manager's session sets its wallpaper with feh or nitrogen.
    if (!found())
        AddFehBackgrounds(screens, &bg);
    if (!found())
        AddNitrogenBackgrounds(screens, &bg);
    if (!found())
        gsettings();
    // No desktop we know: any desktop's files that are there.
    if (!known && !found())
        xfce();
    if (!known && !found())
        AddPlasmaBackgrounds(screens, &bg);
    if (!known && !found())
        AddPcmanfmQtBackground(screens, &bg);
    if (!known && !found())
        AddPcmanfmBackgrounds(screens, &bg);
    return bg;
}

DesktopBackground DesktopBackgroundFromPath(const char* path)
{
    DesktopBackground bg;
    if (path)
        bg.imageFilePath.emplace("default", path);
    return bg;
}

void DesktopPicturePath(const DesktopBackground& background, int screenNumber, const char* fallback, char (&path)[1024])
{
    const std::string* found = nullptr;
    auto it = background.imageFilePath.find(std::to_string(screenNumber));
    if (it == background.imageFilePath.end())
        it = background.imageFilePath.find("default");
    if (it != background.imageFilePath.end())
        found = &it->second;
    const char* source = fallback ? fallback : "";
    if (found && std::strlen(found->c_str()) >= 5)
        source = found->c_str();
    size_t n = std::min(std::strlen(source), sizeof path - 1);
    std::memcpy(path, source, n);
    path[n] = '\0';
}
