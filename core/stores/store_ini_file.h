// The ini-file store: a text file of "[section]" lines each followed by
// "key=value" lines.
//
// The file is read whole when the store is constructed (a missing file is an
// empty store) and every change is written to the file at once, so nothing
// waits for destruction. A change that cannot be written raises
// EIniFileException "Unable to write to %s" and is taken back in memory, so the
// store keeps matching the file.
//
// Names: section and key names compare without regard to ASCII letter case and
// are trimmed of surrounding blanks when read from the file.
// Values: the text after the first "=" with surrounding blanks removed; a
// value written in double quotes loses exactly that one pair of quotes. Writes
// quote a value whenever that is needed for it to read back unchanged, so
// every value without a line break round-trips exactly ("#32", " COM1 ",
// "\"x\"").
// Lines the store does not understand (comments starting with ";", text
// without "=", keys before the first section) are kept as they are; the first
// of several equal sections or keys is the one read and written. The file's
// line ends (CR LF or LF) are kept; a new file gets LF.
//
// Not safe for concurrent use from several threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/stores/store_ini.h"
#include "core/stores/store_ini_index.h"

namespace core {

class TIniFile : public TCustomIniFile {
public:
    // Raises EFOpenError "Cannot open file %s" when the file exists but cannot
    // be read as a regular file of sane size.
    explicit TIniFile(std::string fileName);
    // The index points into the text it was built from.
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::string& FileName() const noexcept { return fileName_; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) override;
    // A value with a line break, a key that is empty, has surrounding blanks,
    // holds "=" or starts with "[" or ";", or a section holding "]" or a line
    // break cannot be kept in the file: such writes raise the write error and
    // change nothing.
    void WriteString(const std::string& section, const std::string& key, const std::string& value) override;
    // Decimal with optional sign, or hexadecimal after "0x" or "$" (32 bits,
    // so "$FFFFFFFF" is -1); anything else, or a number out of range, gives
    // the default.
    std::int32_t ReadInteger(const std::string& section, const std::string& key,
                             std::int32_t defaultValue) override;
    void WriteInteger(const std::string& section, const std::string& key, std::int32_t value) override;

    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    // Names as they stand in the file, in file order, without repeats.
    std::vector<std::string> ReadSections() const;
    std::vector<std::string> ReadSection(const std::string& section) const;
    // Removes the key (every copy of it) from the section; a missing key is no error.
    void DeleteKey(const std::string& section, const std::string& key);
    // Removes every section of that name with all its lines.
    void EraseSection(const std::string& section);

private:
    // The lines in [from, to) of the text give way to `lines`, each of which
    // already carries the line end.
    struct Splice {
        std::size_t from, to;
        std::string lines;
    };

    std::optional<std::string> Find(const std::string& section, const std::string& key) const;
    // Calls f(line, at) for the lines of every section of that name, in file order.
    template <class F>
    void ForEachLineIn(const std::string& section, F f) const;
    // Writes the text with the splices (in file order, not overlapping) and
    // takes it on, or raises with nothing changed. Every line is written with
    // the file's line end.
    void Rewrite(const std::vector<Splice>& splices);
    [[noreturn]] void RaiseWriteError() const;

    std::string fileName_;
    std::string lineEnd_ = "\n";
    std::string text_;  // the file as read or as last written
    IniIndex index_;
};

}  // namespace core
