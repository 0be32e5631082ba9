// The running desktop's wallpaper: GSettings for GNOME, Cinnamon and MATE,
// XFCE's desktop channel file for per-monitor pictures.
#include "platform/desktop_background.h"
#include "platform/posix_small_file.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <gio/gio.h>
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gsettingsbackend.h>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr size_t kMaxXfceFileBytes = 1u << 20;

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
            bool isString = g_variant_type_equal(g_settings_schema_key_get_value_type(k),
                                                 G_VARIANT_TYPE_STRING);
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

// The wallpaper of one GSettings desktop as an existing local file, or "".
std::string GSettingsWallpaper(const SettingsReader& reader, const WallpaperKey& w)
{
    std::string value;
    if (w.schema == kGnome.schema) {
        // GNOME shows a second picture while the dark style is chosen.
        std::string scheme;
        if (reader.String("org.gnome.desktop.interface", "color-scheme", &scheme)
            && scheme == "prefer-dark" && reader.String(w.schema, "picture-uri-dark", &value)) {
            std::string path = ToLocalPath(value.c_str());
            if (IsReadableFile(path))
                return path;
        }
    }
    if (!reader.String(w.schema, w.key, &value))
        return {};
    std::string path = ToLocalPath(value.c_str());
    return IsReadableFile(path) ? path : std::string();
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
    if (path.size() < 4 || path[0] != "backdrop" || path[1] != "screen0"
        || path[2].rfind("monitor", 0) != 0)
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

void XfceStart(GMarkupParseContext*, const gchar* element, const gchar** names,
               const gchar** values, gpointer data, GError**)
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
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base = xdg && xdg[0] == '/' ? std::string(xdg)
                                            : std::string(g_get_home_dir()) + "/.config";
    return base + "/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml";
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
    bool ok = g_markup_parse_context_parse(context, xml.data(), static_cast<gssize>(xml.size()), nullptr)
              && g_markup_parse_context_end_parse(context, nullptr);
    g_markup_parse_context_free(context);
    if (!ok)
        return;  // a damaged file says nothing

    for (const auto& [monitor, path] : parse.image) {
        // "monitorHDMI-1" names the RandR monitor; older files count them ("monitor0").
        const ScreenInfo* screen = nullptr;
        for (const ScreenInfo& s : screens.screens)
            if (!s.name.empty() && s.name == monitor)
                screen = &s;
        if (!screen && !monitor.empty() && monitor.size() < 6
            && std::all_of(monitor.begin(), monitor.end(), [](char c) { return c >= '0' && c <= '9'; }))
            screen = screens.FindNumber(std::atoi(monitor.c_str()));
        if (screen)
            bg->imageFilePath.emplace(std::to_string(screen->number), path);
    }
    if (!bg->imageFilePath.count("default")) {
        const ScreenInfo* main = screens.MainScreen();
        auto it = main ? bg->imageFilePath.find(std::to_string(main->number)) : bg->imageFilePath.end();
        if (it == bg->imageFilePath.end())
            it = bg->imageFilePath.begin();
        if (it != bg->imageFilePath.end())
            bg->imageFilePath.emplace("default", it->second);
    }
}

}  // namespace

DesktopBackground ReadDesktopBackground(const ScreenList& screens, const DesktopBackgroundSources& sources)
{
    DesktopBackground bg;
    std::vector<std::string> names = DesktopNames(sources.currentDesktop);
    bool xfce = Names(names, "xfce");
    if (xfce)
        AddXfceBackgrounds(XfceDesktopFile(sources.xfceDesktopXml), screens, &bg);

    // The running desktop's key first, then the others in a fixed order.
    std::vector<WallpaperKey> order;
    if (Names(names, "cinnamon"))
        order.push_back(kCinnamon);
    if (Names(names, "mate"))
        order.push_back(kMate);
    for (const WallpaperKey& w : {kGnome, kCinnamon, kMate})
        if (std::none_of(order.begin(), order.end(), [&](const WallpaperKey& o) { return o.schema == w.schema; }))
            order.push_back(w);

    if (!bg.imageFilePath.count("default")) {
        SettingsReader reader(sources.schemaDir);
        for (const WallpaperKey& w : order) {
            std::string path = GSettingsWallpaper(reader, w);
            if (!path.empty()) {
                bg.imageFilePath.emplace("default", path);
                break;
            }
        }
    }
    if (!xfce && names.empty() && bg.imageFilePath.empty())
        AddXfceBackgrounds(XfceDesktopFile(sources.xfceDesktopXml), screens, &bg);
    return bg;
}

DesktopBackground DesktopBackgroundFromPath(const char* path)
{
    DesktopBackground bg;
    if (path)
        bg.imageFilePath.emplace("default", path);
    return bg;
}

void DesktopPicturePath(const DesktopBackground& background, int screenNumber,
                        const char* fallback, char (&path)[1024])
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
