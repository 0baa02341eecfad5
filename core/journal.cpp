#include "core/journal.h"

#include "core/file_ops.h"
#include "core/file_stream.h"
#include "core/utils.h"

#include <charconv>
#include <filesystem>
#include <string_view>

namespace velmora {

namespace {

// Layout: a first line, the mode, one entry a line ("key value", the value running to the line's
// end so that names may hold blanks), and a last line that tells the journal is complete.
constexpr std::string_view kFirstLine = "velmora journal 3";
constexpr std::string_view kLastLine = "end";
constexpr char kDraftSuffix[] = ".new";

std::string HexOf(const std::vector<uint8_t>& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        text.push_back(digits[b >> 4]);
        text.push_back(digits[b & 15]);
    }
    return text;
}

std::optional<std::vector<uint8_t>> BytesOfHex(std::string_view text) {
    if (text.size() % 2 != 0)
        return std::nullopt;
    std::vector<uint8_t> bytes(text.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned value = 0;
        const auto [end, error] =
            std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, value, 16);
        if (error != std::errc() || end != text.data() + 2 * i + 2)
            return std::nullopt;
        bytes[i] = uint8_t(value);
    }
    return bytes;
}

template <typename T> std::optional<T> NumberOf(std::string_view text, int base = 10) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// How the journal names a file: its plain name when it lies in the journal's folder, else its
// whole path with the links of its folders followed.
std::string NameInJournal(const std::string& journal, const std::string& path,
                          const std::string& library) {
    if (path.find('\n') != std::string::npos)
        throw EFileError(library, "a file name with a line break cannot be saved safely");
    if (SameFolder(path, journal))
        return ExtractFileName(path);
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::canonical(FolderOf(path), ec);
    if (ec)
        throw EFileError(library, "the folder of " + path + " cannot be found");
    return (folder / ExtractFileName(path)).string();
}

// A name of the journal as a path: plain names lie in the journal's folder.
std::optional<std::string> PathOfName(const std::string& journal, const std::string& name) {
    if (name.empty() || name == "." || name == "..")
        return std::nullopt;
    if (name.front() == '/')
        return name;
    if (name.find('/') != std::string::npos)
        return std::nullopt;
    return ExtractFilePath(journal) + name;
}

} // namespace

std::string JournalNameFor(const std::string& path) {
    return HiddenNameFor(ResolveLinks(path), ".journal");
}

void WriteJournal(const std::string& JournalPath, const TJournal& Journal,
                  const std::string& Library) {
    std::string text = std::string(kFirstLine) + "\n";
    text += Journal.Mode == TJournal::jmReplace ? "replace\n" : "in-place\n";
    for (const TJournal::TRename& rename : Journal.Renames) {
        text += "rename " + NameInJournal(JournalPath, rename.NewFile, Library) + "\n";
        text += "to " + NameInJournal(JournalPath, rename.Target, Library) + "\n";
        if (rename.Guard)
            text += "guard " + HexOf64(*rename.Guard) + "\n";
    }
    for (const TJournal::TFile& file : Journal.Files) {
        text += "file " + NameInJournal(JournalPath, file.Path, Library) + "\n";
        text += "sizes " + std::to_string(file.OldSize) + " " + std::to_string(file.NewSize) + "\n";
    }
    for (const TJournal::TPatch& patch : Journal.Patches)
        text += "patch " + std::to_string(patch.File) + " " + std::to_string(patch.Position) + " " +
                HexOf(patch.Old) + " " + HexOf(patch.New) + "\n";
    text += std::string(kLastLine) + "\n";

    const std::string draft = JournalPath + kDraftSuffix;
    try {
        TFileStream stream(draft, TFileStream::fmCreate, Library);
        stream.Write({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
        stream.Flush();
        stream.Close();
        RenameFile(draft, JournalPath, Library);
    } catch (...) {
        RemoveQuietly(draft);
        throw;
    }
    SyncFolder(JournalPath, Library);
}

std::optional<TJournal> ReadJournal(const std::string& JournalPath, std::string& Why) {
    const std::vector<uint8_t> bytes = TFileStream::ReadAll(JournalPath);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::vector<std::string_view> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            Why = "it ends inside a line";
            return std::nullopt;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (lines.size() < 3 || lines.front() != kFirstLine || lines.back() != kLastLine) {
        Why = "it is not complete";
        return std::nullopt;
    }
    TJournal journal;
    if (lines[1] == "in-place")
        journal.Mode = TJournal::jmInPlace;
    else if (lines[1] != "replace") {
        Why = "its kind is unknown";
        return std::nullopt;
    }
    const auto bad = [&](size_t line) {
        Why = "line " + std::to_string(line + 1) + " is not understood";
        return std::nullopt;
    };
    for (size_t i = 2; i + 1 < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const size_t blank = line.find(' ');
        if (blank == std::string_view::npos)
            return bad(i);
        const std::string_view key = line.substr(0, blank), value = line.substr(blank + 1);
        if (key == "rename" && i + 2 < lines.size() && lines[i + 1].starts_with("to ")) {
            const auto from = PathOfName(JournalPath, std::string(value));
            const auto to = PathOfName(JournalPath, std::string(lines[i + 1].substr(3)));
            if (!from || !to)
                return bad(i);
            journal.Renames.push_back({*from, *to, std::nullopt});
            ++i;
        } else if (key == "guard" && !journal.Renames.empty()) {
            const auto guard = NumberOf<uint64_t>(value, 16);
            if (!guard)
                return bad(i);
            journal.Renames.back().Guard = guard;
        } else if (key == "file" && i + 2 < lines.size() && lines[i + 1].starts_with("sizes ")) {
            const auto path = PathOfName(JournalPath, std::string(value));
            const std::string_view sizes = lines[i + 1].substr(6);
            const size_t gap = sizes.find(' ');
            if (!path || gap == std::string_view::npos)
                return bad(i);
            const auto oldSize = NumberOf<int64_t>(sizes.substr(0, gap));
            const auto newSize = NumberOf<int64_t>(sizes.substr(gap + 1));
            if (!oldSize || !newSize)
                return bad(i + 1);
            journal.Files.push_back({*path, *oldSize, *newSize});
            ++i;
        } else if (key == "patch") {
            std::vector<std::string_view> parts;
            for (size_t start = 0; start <= value.size();) {
                const size_t end = std::min(value.find(' ', start), value.size());
                parts.push_back(value.substr(start, end - start));
                start = end + 1;
            }
            if (parts.size() != 4)
                return bad(i);
            const auto file = NumberOf<size_t>(parts[0]);
            const auto position = NumberOf<int64_t>(parts[1]);
            auto oldBytes = BytesOfHex(parts[2]), newBytes = BytesOfHex(parts[3]);
            if (!file || *file >= journal.Files.size() || !position || *position < 0 || !oldBytes ||
                !newBytes || oldBytes->size() != newBytes->size())
                return bad(i);
            journal.Patches.push_back(
                {*file, *position, std::move(*oldBytes), std::move(*newBytes)});
        } else {
            return bad(i);
        }
    }
    if (journal.Mode == TJournal::jmReplace ? journal.Renames.empty() || !journal.Files.empty()
                                            : journal.Renames.size() > 1) {
        Why = "its entries do not fit its kind";
        return std::nullopt;
    }
    return journal;
}

} // namespace velmora
