#include "operations/convert_library.h"

#include "core/file_stream.h"
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
bool AddPicture(TGameImages& target, TGameImages& source, int index, uint8_t compression) {
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
    return target.Add(*loaded.Source, x, y, compression, loaded.Alpha.get());
}

void Convert(const TConvertOptions& options, const TProgress& progress, TConvertResult& result) {
    std::unique_ptr<TGameImages> source = CreateLibrary(options.SourceKind, options.SourcePath);
    source->Initialize();
    if (!source->Initialized()) {
        result.Error = options.SourcePath + ": not a readable library";
        return;
    }
    const int count = source->ImageCount();
    if (progress)
        progress(0, count);

    const std::string work = TemporaryNameFor(options.TargetPath);
    TTemporaryTarget cleanup(work, options.TargetKind);
    const std::string password =
        options.PassWord.empty() ? std::string(kDefaultPakPassword) : options.PassWord;
    const auto bitCount = uint8_t(source->BitCount());
    {
        std::unique_ptr<TGameImages> creator = options.TargetKind == t_Quillrand
                                                   ? CreateLibrary(t_Quillrand, work)
                                                   : std::make_unique<TGameImages>(work, t_Wzl);
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
    target->BeginUpdate(-1);
    try {
        for (int i = 0; i < count; ++i) {
            const size_t before = target->Images().size();
            if (options.SourceKind == t_Wis) {
                if (!AddPicture(*target, *source, i, options.Compression)) {
                    result.Error = options.SourcePath + ": image " + std::to_string(i) +
                                   " was refused by the target";
                    break;
                }
            } else {
                target->Convert(source->Images()[size_t(i)].get(), source.get(),
                                options.Compression);
                if (target->Images().size() != before + 1) {
                    result.Error = options.SourcePath + ": image " + std::to_string(i) +
                                   " could not be converted";
                    break;
                }
            }
            if (progress)
                progress(i + 1, count);
        }
    } catch (...) {
        target->EndUpdate();
        throw;
    }
    if (!result.Error.empty())
        return;
    target->EndUpdate();
    result.Converted = target->ImageCount();
    target.reset();
    source.reset();

    // The complete library replaces the target in one rename per file.
    const std::vector<std::string> from = LibraryFiles(work, options.TargetKind);
    const std::vector<std::string> to = LibraryFiles(options.TargetPath, options.TargetKind);
    for (size_t k = 0; k < from.size() && k < to.size(); ++k) {
        if (!FileExists(from[k]))
            continue;
        std::error_code ec;
        std::filesystem::rename(from[k], to[k], ec);
        if (ec) {
            result.Error = to[k] + ": " + ec.message();
            return;
        }
    }
    cleanup.Keep();
    result.Done = true;
}

} // namespace

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
    std::error_code ec;
    if (std::filesystem::equivalent(options.SourcePath, options.TargetPath, ec)) {
        result.Error = options.TargetPath + ": the target is the source file";
        return result;
    }
    try {
        Convert(options, progress, result);
    } catch (const std::exception& e) {
        result.Done = false;
        result.Error = e.what();
    }
    return result;
}

} // namespace velmora
