#include "operations/convert_library.h"

#include "core/file_stream.h"
#include "core/safe_replace.h"
#include "formats/indexed_library.h"
#include "files/pak_passwords.h"
#include "operations/import_picture.h"
#include "operations/library_files.h"
#include "operations/library_kind.h"

#include <exception>
#include <filesystem>
#include <system_error>

namespace velmora {

bool ConversionSupported(TImageType source, TImageType target) {
    if (target == t_Quillrand)
        return source == t_Wil || source == t_Wis || source == t_Wzl;
    return target == t_Wzl && source == t_Wil;
}

namespace {

// Removes the files of a half-built target unless it was completed.
class TTemporaryTarget {
public:
    TTemporaryTarget(const std::string& path, TImageType kind) : FFiles(LibraryFiles(path, kind)) {}
    ~TTemporaryTarget() {
        if (FKeep)
            return;
        for (const std::string& file : FFiles) {
            std::error_code ec;
            std::filesystem::remove(file, ec);
        }
    }
    void Keep() { FKeep = true; }

private:
    std::vector<std::string> FFiles;
    bool FKeep = false;
};

// Adds one picture of a WIS source; an image without a picture becomes an empty image so that the
// numbers of the images after it stay those of the source.
bool AddPicture(TGameImages::TUpdate& update, TGameImages& target, TGameImages& source, int index,
                uint8_t compression) {
    int x = 0, y = 0;
    std::unique_ptr<TPicture> picture = source.Get(index, x, y);
    TLoadedPicture loaded;
    if (picture && picture->AsPng()) {
        loaded = PictureFromPng(*picture->AsPng());
    } else if (picture && picture->AsDIB()) {
        loaded.Source = std::make_unique<TDIB>(*picture->AsDIB());
    }
    if (!loaded.Source) {
        loaded = {};
        loaded.Source = target.FillDIB();
        x = y = 0;
    }
    return update.Add(*loaded.Source, x, y, compression, loaded.Alpha.get());
}

void Convert(const TConvertOptions& options, const TProgress& progress, TConvertResult& result) {
    std::unique_ptr<TGameImages> source = CreateLibrary(options.SourceKind, options.SourcePath);
    source->Initialize();
    if (!source->Initialized()) {
        result.Error = options.SourcePath + ": not a readable library";
        return;
    }
    // A source whose index is missing or damaged would be converted without the images its index
    // lost: the target would be reported complete with fewer images than the source holds.
    if (const auto* indexed = dynamic_cast<const TIndexedLibrary*>(source.get());
        indexed && indexed->IndexState() != TIndexState::isGood) {
        result.Error = options.SourcePath + ": " +
                       EditRefusalText(indexed->IndexState() == TIndexState::isMissing
                                           ? TEditRefusal::erIndexMissing
                                           : TEditRefusal::erIndexDamaged);
        return;
    }
    const std::shared_ptr<const TRecordList> records = source->Snapshot();
    const int count = int(records->size());
    if (progress)
        progress(0, count);

    // The new library is built under a short temporary name beside the target and replaces it
    // only when complete.
    const std::string work = TemporaryNameFor(options.TargetPath);
    TTemporaryTarget cleanup(work, options.TargetKind);
    const std::string password =
        options.PassWord.empty() ? std::string(kDefaultPakPassword) : options.PassWord;
    const auto bitCount = uint8_t(source->BitCount());
    {
        std::unique_ptr<TGameImages> creator = CreateLibrary(options.TargetKind, work);
        if (!creator->CreateFile(bitCount, password)) {
            result.Error = options.TargetPath + ": the library could not be created";
            return;
        }
    }
    std::unique_ptr<TGameImages> target = CreateLibrary(options.TargetKind, work);
    if (options.TargetKind == t_Quillrand && !TryPakPassword(*target, password)) {
        result.Error = options.TargetPath + ": the new library does not open with its password";
        return;
    }
    target->Initialize();
    if (!target->Initialized()) {
        result.Error = options.TargetPath + ": the new library could not be opened";
        return;
    }
    {
        TGameImages::TUpdate update = target->BeginUpdate(-1);
        for (int i = 0; i < count; ++i) {
            const bool ok = options.SourceKind == t_Wis
                                ? AddPicture(update, *target, *source, i, options.Compression)
                                : update.Convert((*records)[size_t(i)].get(), source.get(),
                                                 options.Compression);
            if (!ok) {
                result.Error = options.SourcePath + ": image " + std::to_string(i) +
                               (options.SourceKind == t_Wis ? " was refused by the target"
                                                            : " could not be converted");
                return;
            }
            if (progress)
                progress(i + 1, count);
        }
        update.EndUpdate();
    }
    result.Converted = target->RecordCount();
    if (result.Converted != count) {
        result.Error = options.TargetPath + ": the target holds " +
                       std::to_string(result.Converted) + " of the source's " +
                       std::to_string(count) + " images";
        return;
    }
    target.reset();
    source.reset();

    // The complete library replaces the target's files as one step (data and index together).
    const std::vector<std::string> from = LibraryFiles(work, options.TargetKind);
    const std::vector<std::string> to = LibraryFiles(options.TargetPath, options.TargetKind);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t k = 0; k < from.size() && k < to.size(); ++k)
        if (FileExists(from[k]))
            pairs.emplace_back(from[k], to[k]);
    try {
        ReplaceFilesAtomically(options.TargetPath, pairs);
    } catch (...) {
        // With its journal written, the next opening of the target finishes the replacement
        // from the new files: they must stay.
        if (FileExists(JournalNameFor(options.TargetPath)))
            cleanup.Keep();
        throw;
    }
    cleanup.Keep();
    result.Done = true;
}

} // namespace

void RecoverConversion(const std::string& target, TImageType kind) {
    const std::vector<std::string> files = LibraryFiles(target, kind);
    RecoverReplacement(files.front(), std::vector<std::string>(files.begin() + 1, files.end()));
}

TConvertResult ConvertLibrary(const TConvertOptions& options, const TProgress& progress) {
    TConvertResult result;
    if (!ConversionSupported(options.SourceKind, options.TargetKind)) {
        result.Error = "this conversion is not offered (WIL, WIS or WZL to Pak, WIL to WZL)";
        return result;
    }
    if (!FileExists(options.SourcePath)) {
        result.Error = options.SourcePath + ": the file does not exist";
        return result;
    }
    if (options.TargetKind == t_Quillrand && !PasswordFitsCodePage(options.PassWord)) {
        result.Error = kUnencodablePasswordText;
        return result;
    }
    // A WIL file read as WIS (the kind chosen does not match the file) opens as an empty
    // library: the conversion would write an empty target and call it done.
    if (const TImageType actual = LibraryKindOf(options.SourcePath); actual != options.SourceKind) {
        static const char* const kNames[] = {"WIL", "WIS", "WZL", "Pak"};
        result.Error = options.SourcePath + ": the file is a " + kNames[actual] + " library, not " +
                       kNames[options.SourceKind];
        return result;
    }
    std::error_code ec;
    if (std::filesystem::equivalent(options.SourcePath, options.TargetPath, ec)) {
        result.Error = options.TargetPath + ": the target is the source file";
        return result;
    }
    try {
        RecoverConversion(options.TargetPath, options.TargetKind);
        Convert(options, progress, result);
    } catch (const std::exception& e) {
        result.Done = false;
        result.Error = e.what();
    }
    return result;
}

} // namespace velmora
