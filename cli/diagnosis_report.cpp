#include "cli/diagnosis_report.h"

#include <cstdio>

#include "trace/json.h"
#include "cli/terminal_text.h"
#include "core/platform/exception.h"
#include "core/platform/text_file.h"
#include "core/text/user_text.h"

namespace cli {

namespace {

using protocol::IdentField;

constexpr struct {
    IdentField field;
    const char* label;
    const char* key;
} kFields[4] = {
    {IdentField::BoschNumber, "Bosch number", "bosch_number"},
    {IdentField::SerialNumber, "Id number", "id_number"},  // the window's S_n, under "Id number"
    {IdentField::OrName, "Original number", "original_number"},
    {IdentField::Id, "Serial number", "serial_number"},  // the window's Id, under "Serial number"
};

std::string Code(int code) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", code);
    return buf;
}

// The counter the hint ends with ("... 17").
int CounterOf(const std::string& hint) {
    std::size_t start = hint.size();
    while (start > 0 && hint[start - 1] >= '0' && hint[start - 1] <= '9') --start;
    if (start == hint.size() || hint.size() - start > 3) return -1;
    return std::stoi(hint.substr(start));
}

std::string FaultsJson(const FaultList& list) {
    std::string json = "[";
    for (const FaultEntry& f : list.faults) {
        if (json.size() > 1) json += ",";
        json += "{\"code\":\"" + Code(f.code) + "\",\"counter\":" + std::to_string(f.counter) +
                ",\"hint\":" + JsonString(f.hint) + ",\"help\":" + JsonString(f.help) + "}";
    }
    return json + "]";
}

}  // namespace

void TakeIdentification(const Display& display, DiagnosisReport& report) {
    for (std::size_t i = 0; i < 4; ++i) {
        const auto it = display.fields.find(kFields[i].field);
        report.identification[i] = it == display.fields.end() ? "" : it->second;
    }
}

FaultList TakeFaults(const Display& display) {
    FaultList list;
    list.read = true;
    list.noneFound = display.statusVisible;
    for (int code : display.visibleFaults) {
        FaultEntry f;
        f.code = code;
        const auto hint = display.hints.find(code);
        f.hint = hint == display.hints.end() ? "" : hint->second;
        f.counter = CounterOf(f.hint);
        f.help = HelpFirstLine(code);
        list.faults.push_back(f);
    }
    return list;
}

std::string HelpText(int code) {
    for (const std::string& folder : HelpFolders()) {
        try {
            return core::DecodeUserText(core::ReadWholeTextFile(folder + "/" + Code(code) + ".txt"));
        } catch (const core::EFOpenError&) {
            continue;  // not in this folder
        }
    }
    return "";
}

std::string HelpFirstLine(int code) {
    for (const std::string& line : core::SplitLines(HelpText(code))) {
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        const auto last = line.find_last_not_of(" \t");
        return line.substr(first, last - first + 1);
    }
    // No help file anywhere: the code and its counter are all there is.
    return "";
}

std::string IdentificationText(const DiagnosisReport& report) {
    std::string text;
    for (std::size_t i = 0; i < 4; ++i) {
        char label[32];
        std::snprintf(label, sizeof label, "%-17s", (std::string(kFields[i].label) + ":").c_str());
        text += label + ForTerminal(report.identification[i]) + "\n";
    }
    return text;
}

std::string FaultsText(const FaultList& list) {
    if (list.faults.empty())
        return list.noneFound ? "Fault memory: no faults stored\n" : "Fault memory: nothing shown\n";
    std::string text = "Fault memory: " + std::to_string(list.faults.size()) + " fault" +
                       (list.faults.size() == 1 ? "" : "s") + "\n";
    for (const FaultEntry& f : list.faults) {
        char line[64];
        std::snprintf(line, sizeof line, "  %s  error counter %-4d", Code(f.code).c_str(), f.counter);
        text += line + (f.help.empty() ? std::string() : "  " + ForTerminal(f.help)) + "\n";
    }
    return text;
}

std::string FailureText(const LinkFailure& failure) {
    if (!failure.Failed()) return "";
    return "Link failed (" + failure.cause + "): " + ForTerminal(failure.text) + "\n";
}

std::string ReportJson(const DiagnosisReport& r) {
    std::string json = "{\"port\":" + JsonString(r.port) + ",\"identified\":" + (r.identified ? "true" : "false") +
                       ",\"identification\":{";
    for (std::size_t i = 0; i < 4; ++i)
        json += std::string(i ? "," : "") + "\"" + kFields[i].key + "\":" + JsonString(r.identification[i]);
    json += "}";
    if (r.faults.read)
        json += ",\"no_faults\":" + std::string(r.faults.noneFound ? "true" : "false") +
                ",\"faults\":" + FaultsJson(r.faults);
    if (r.clearRequested) {
        json += ",\"cleared\":" + std::string(r.cleared ? "true" : "false");
        if (r.afterClear.read) json += ",\"faults_after_clear\":" + FaultsJson(r.afterClear);
    }
    if (!r.error.empty())
        json += ",\"missing_step\":" + JsonString(r.missingStep) + ",\"error\":" + JsonString(r.error);
    if (r.failure.Failed())
        json += ",\"failure\":{\"cause\":" + JsonString(r.failure.cause) + ",\"text\":" + JsonString(r.failure.text) + "}";
    // As the likely cause of the failure.
    if (!r.error.empty() && !r.noRealTime.empty())
        json += ",\"line_realtime\":false,\"no_realtime_reason\":" + JsonString(r.noRealTime);
    return json + "}\n";
}

}  // namespace cli
