#include "window/port_ini.h"

#include "core/platform/file_failure.h"
#include "core/text/format.h"
#include "core/text/short_text.h"
#include "localization/gettext.h"
#include "window/form_files.h"

namespace window {

namespace {

constexpr std::string_view kLineSpace = " \t";
constexpr std::size_t kNameChars = 60;

const char kEmptyFile[] = "%s in the folder %s is empty.";
const char kEmptyFirstLine[] = "The first line of %s in the folder %s is empty; it must name the port, such as COM3.";
const char kControlCharacter[] = "The port name \"%s\" in %s holds a tab or another control character.";
const char kLeadingSpace[] = "The port name \"%s\" in %s begins with a space.";
const char kChooseInMenu[] = "Choose the port in the menu; the program then writes the file anew.";

// A catalog that cannot deliver leaves the English text.
std::string Translated(const char* text) {
    try {
        return localization::TranslateUtf8(text);
    } catch (...) {
        return text;
    }
}

bool HoldsControlCharacter(std::string_view name) {
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

}  // namespace

std::string PortNameFromIni(std::string_view text) {
    std::string name = FirstLines(text, 1).front();
    name.erase(name.find_last_not_of(kLineSpace) + 1);
    return name;
}

std::string PortIniProblem(std::string_view text, const std::string& name, const std::string& file) {
    std::string problem;
    if (text.find_first_not_of(" \t\n") == std::string_view::npos)
        problem = core::FormatText(Translated(kEmptyFile), {file, core::FolderOfFile(file)});
    else if (name.empty())
        problem = core::FormatText(Translated(kEmptyFirstLine), {file, core::FolderOfFile(file)});
    else if (HoldsControlCharacter(name))
        problem = core::FormatText(Translated(kControlCharacter), {core::ShortenedEnd(name, kNameChars), file});
    else if (name.front() == ' ')
        problem = core::FormatText(Translated(kLeadingSpace), {core::ShortenedEnd(name, kNameChars), file});
    else
        return {};
    return problem + " " + Translated(kChooseInMenu);
}

std::vector<std::string> PortIniTexts() {
    return {kEmptyFile, kEmptyFirstLine, kControlCharacter, kLeadingSpace, kChooseInMenu};
}

}  // namespace window
