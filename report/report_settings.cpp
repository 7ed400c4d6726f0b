#include "report/report_settings.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "core/platform/exception.h"
#include "core/platform/text_file.h"
#include "core/text/format.h"
#include "core/text/user_text.h"
#include "localization/gettext.h"
#include "report/append_file.h"
#include "report/user_folders.h"
#include "report/whole_file.h"

namespace report {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

struct SettingsKey {
    std::string_view name;
    std::string ReportSettings::*value;
};
constexpr std::array<SettingsKey, 2> kSettingsKeys = {
    {{"workshop", &ReportSettings::workshop}, {"technician", &ReportSettings::technician}}};

std::string TrimmedValue(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return "";
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

bool SameKeyName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// The key a "key = value" line sets, or null.
const SettingsKey* KeyOf(std::string_view line) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) return nullptr;
    const std::string name = TrimmedValue(line.substr(0, equals));
    for (const SettingsKey& key : kSettingsKeys)
        if (SameKeyName(name, key.name)) return &key;
    return nullptr;
}

// One line of the file: a line end or a control character in a name would
// start another key.
std::string SingleLine(const std::string& value) {
    std::string line = value;
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return TrimmedValue(line);
}

}  // namespace

ReportSettings ParseReportSettings(std::string_view bytes) {
    ReportSettings settings;
    for (const std::string& line : core::SplitLines(core::DecodeUserText(bytes)))
        if (const SettingsKey* key = KeyOf(line)) settings.*key->value = TrimmedValue(line.substr(line.find('=') + 1));
    return settings;
}

std::string WithReportSettings(std::string_view bytes, const ReportSettings& settings) {
    std::string text(kUtf8Mark);
    std::array<bool, kSettingsKeys.size()> written{};
    auto keyLine = [&](const SettingsKey& key) {
        written[static_cast<std::size_t>(&key - kSettingsKeys.data())] = true;
        return std::string(key.name) + "=" + SingleLine(settings.*key.value) + "\r\n";
    };
    for (const std::string& line : core::SplitLines(core::DecodeUserText(bytes))) {
        const SettingsKey* key = KeyOf(line);
        // A key given twice is kept once, where it first stood.
        if (!key) text += line + "\r\n";
        else if (!written[static_cast<std::size_t>(key - kSettingsKeys.data())]) text += keyLine(*key);
    }
    for (const SettingsKey& key : kSettingsKeys)
        if (!written[static_cast<std::size_t>(&key - kSettingsKeys.data())]) text += keyLine(key);
    return text;
}

std::string ReportSettingsPath() {
    const std::string folder = UserFolder();
    return folder.empty() ? "" : InFolder(folder, kSettingsName);
}

ReportSettings ReadReportSettings() {
    const std::string path = ReportSettingsPath();
    if (path.empty()) return {};
    try {
        return ParseReportSettings(core::ReadWholeTextFile(path));
    } catch (const core::EFOpenError&) {
        try {
            if (MakeFolders(UserFolder()).empty()) WriteFileWhole(path, WithReportSettings("", {}));
        } catch (const core::Exception&) {
            // Only a convenience: the names stay empty either way.
        }
        return {};
    }
}

std::string SaveReportSettings(const ReportSettings& settings) {
    const std::string path = ReportSettingsPath();
    if (path.empty()) return localization::TranslateUtf8("The settings have no folder: the user's folder is not known.");
    if (const std::string reason = MakeFolders(UserFolder()); !reason.empty())
        return core::FormatText(localization::TranslateUtf8("The folder %s cannot be made: %s"), {UserFolder(), reason});
    std::string old;
    try {
        old = core::ReadWholeTextFile(path);
    } catch (const core::EFOpenError&) {
        // None yet, or unreadable: written afresh.
    }
    try {
        WriteFileWhole(path, WithReportSettings(old, settings));
    } catch (const core::Exception& e) {
        return e.Message();
    }
    return "";
}

}  // namespace report
