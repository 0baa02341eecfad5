#include "operations/convert_library.h"

#include "core/file_stream.h"
#include "core/file_replacement.h"
#include "core/recovery.h"
#include "core/utils.h"
#include "files/pak_passwords.h"
#include "formats/image_info.h"
#include "operations/import_picture.h"
#include "operations/library_files.h"
#include "operations/library_kind.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

namespace velmora {

bool ConversionSupported(TImageType source, TImageType target) {
    const auto known = [](TImageType kind) {
        return kind == t_Wil || kind == t_Wis || kind == t_Wzl || kind == t_Quillrand;
    };
    return known(source) && known(target) && target != t_Wis && source != target;
}

bool ConvertsRecords(TImageType source, TImageType target) {
    if (target == t_Quillrand)
        return source == t_Wil || source == t_Wzl;
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

// Opens the source of a conversion as the kind it was named as; a Pak source with its password.
std::unique_ptr<TGameImages> OpenSource(const TConvertOptions& options, TConversionPlan& plan) {
    std::unique_ptr<TGameImages> source = CreateLibrary(options.SourceKind, options.SourcePath);
    if (options.SourceKind == t_Quillrand &&
        !TryPakPassword(*source, PakPasswordFor(options.SourcePath, options.SourcePassWord))) {
        plan.WrongPassword = true;
        plan.Error = options.SourcePath + ": wrong password";
        return nullptr;
    }
    source->Initialize();
    if (!source->Initialized()) {
        plan.Error = options.SourcePath + ": not a readable library";
        return nullptr;
    }
    // A source whose index is missing or damaged would be converted without the images its index
    // lost: the target would be reported complete with fewer images than the source holds.
    if (source->IndexState() != TIndexState::isGood) {
        plan.Error = options.SourcePath + ": " +
                     EditRefusalText(source->IndexState() == TIndexState::isMissing
                                         ? TEditRefusal::erIndexMissing
                                         : TEditRefusal::erIndexDamaged);
        return nullptr;
    }
    plan.Opened = true;
    plan.SourceCount = source->RecordCount();
    return source;
}

// Sources whose images each carry their own pixel kind (WZL, and Pak libraries of the new index
// layout, whose headers are 16 bytes); the others hold every image at the library's bit count.
bool StoresAnyDepth(const TGameImages& source, const TImageDescription& d) {
    return (source.ImageType() == t_Wzl || source.ImageType() == t_Quillrand) && d.PixelKind;
}

// Fills in the plan from the source's image headers.
void PlanImages(TGameImages& source, const TConvertOptions& options, TConversionPlan& plan) {
    const int count = source.RecordCount();
    // Every header in one go rather than one read per image.
    try {
        source.Snapshot()->ReadHeaders(0, count - 1);
    } catch (const std::exception&) {
        // Each image that cannot be read is told apart below.
    }
    struct TImage {
        int Bits = 0;
        bool Alpha = false;
    };
    std::vector<TImage> images;
    images.reserve(size_t(count));
    int deepest = 0;
    for (int i = 0; i < count; ++i) {
        TImage image;
        std::optional<TImageDescription> d = source.Describe(i, false);
        if (d && !d->Empty) {
            image.Bits =
                StoresAnyDepth(source, *d) ? BitCountOfPixelKind(*d->PixelKind) : source.BitCount();
            if (!d->Alpha && !ConvertsRecords(options.SourceKind, options.TargetKind))
                d = source.Describe(i, true);
            image.Alpha = d && d->Alpha.value_or(false);
        }
        deepest = std::max(deepest, image.Bits);
        images.push_back(image);
    }
    if (options.TargetKind == t_Wil) {
        plan.TargetBitCount = options.BitCount != 0 ? options.BitCount
                              : source.ImageType() == t_Wzl || source.ImageType() == t_Quillrand
                                  ? std::max(deepest, 8)
                                  : source.BitCount();
    } else {
        plan.TargetBitCount =
            source.ImageType() == t_Wzl ? std::max(deepest, 8) : source.BitCount();
    }
    for (const TImage& image : images) {
        if (options.TargetKind == t_Wil) {
            if (image.Alpha && plan.TargetBitCount != 32)
                ++plan.AlphaLost;
            if (image.Bits > plan.TargetBitCount)
                ++plan.ColoursReduced;
        } else if (options.TargetKind == t_Wzl && image.Alpha &&
                   source.ImageType() == t_Quillrand) {
            ++plan.AlphaReduced;
        }
    }
}

// Adds the picture of one source image; an image without a picture becomes an empty image so that
// the numbers of the images after it stay those of the source.
bool AddPicture(TGameImages::TUpdate& update, TGameImages& target, const TSnapshot& source,
                int index, uint8_t compression, TConvertResult& result) {
    int x = 0, y = 0;
    std::unique_ptr<TPicture> picture;
    try {
        picture = source.Get(index, x, y);
    } catch (const std::exception&) {
        picture.reset(); // a damaged stream
    }
    TLoadedPicture loaded;
    if (picture && picture->AsPng()) {
        loaded = PictureFromPng(*picture->AsPng());
    } else if (picture && picture->AsDIB()) {
        loaded.Source = std::make_unique<TDIB>(*picture->AsDIB());
    }
    if (!loaded.Source) {
        std::optional<TImageDescription> d;
        try {
            d = source.Describe(index, false);
        } catch (const std::exception&) {
        }
        if (d && !d->Empty)
            ++result.Undecodable;
        loaded = {};
        loaded.Source = target.FillDIB();
        x = y = 0;
    }
    PrepareKeepingSize(loaded, target);
    return update.Add(*loaded.Source, x, y, compression, loaded.Alpha.get());
}

void Convert(const TConvertOptions& options, const TProgress& progress, TConvertResult& result) {
    // An existing target is edited as a whole: under its lock, after any save of it that was cut
    // short is settled (and what an earlier conversion into it left is removed).
    TLibraryLock targetLock;
    if (FileExists(options.TargetPath))
        targetLock = TLibraryLock(options.TargetPath);
    const TRecoveryReport recovery =
        RecoverLibrary(CreateLibrary(options.TargetKind, options.TargetPath)->RecoveryFiles(),
                       targetLock.Locked() ? &targetLock : nullptr);
    if (!recovery.Problem.empty()) {
        result.Error = options.TargetPath + ": the journal " + ExtractFileName(recovery.Journal) +
                       " of an interrupted save cannot be applied: " + recovery.Problem;
        return;
    }
    std::unique_ptr<TGameImages> source = OpenSource(options, result.Plan);
    if (!source) {
        result.WrongPassword = result.Plan.WrongPassword;
        result.Error = result.Plan.Error;
        return;
    }
    PlanImages(*source, options, result.Plan);
    // The source as it was when the conversion started, whatever happens to its files.
    const TSnapshotPtr snapshot = source->Snapshot();
    const TRecordList& records = snapshot->Records();
    const int count = snapshot->Count();
    if (progress)
        progress(0, count);

    // The new library is built under a short temporary name beside the target and replaces it
    // only when complete.
    const std::string work = TemporaryNameFor(options.TargetPath);
    TTemporaryTarget cleanup(work, options.TargetKind);
    const std::string password =
        options.PassWord.empty() ? std::string(kDefaultPakPassword) : options.PassWord;
    const auto bitCount = uint8_t(result.Plan.TargetBitCount);
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
        const bool byRecord = ConvertsRecords(options.SourceKind, options.TargetKind);
        for (int i = 0; i < count; ++i) {
            const bool ok =
                byRecord ? update.Convert(records[size_t(i)].get(), *snapshot, options.Compression)
                         : AddPicture(update, *target, *snapshot, i, options.Compression, result);
            if (!ok) {
                result.Error =
                    options.SourcePath + ": image " + std::to_string(i) +
                    (byRecord ? " could not be converted" : " was refused by the target");
                return;
            }
            if (progress)
                progress(i + 1, count);
        }
        update.EndUpdate();
    }
    result.Converted = target->RecordCount();
    if (result.Converted != count) {
        result.Error = options.TargetPath + ": the new library holds " +
                       std::to_string(result.Converted) + " of the " + std::to_string(count) +
                       " images of the source";
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
    } catch (const EReplacementIncomplete&) {
        // The journal stays, and the next opening of the target finishes the replacement from
        // the new files: they must stay too.
        cleanup.Keep();
        throw;
    }
    cleanup.Keep();
    result.Done = true;
}

} // namespace

TConversionPlan PlanConversion(const TConvertOptions& options) {
    TConversionPlan plan;
    if (!FileExists(options.SourcePath)) {
        plan.Error = options.SourcePath + ": the file does not exist";
        return plan;
    }
    try {
        if (std::unique_ptr<TGameImages> source = OpenSource(options, plan))
            PlanImages(*source, options, plan);
    } catch (const std::exception& e) {
        plan.Opened = false;
        plan.Error = e.what();
    }
    return plan;
}

std::string ConversionLossText(const TConversionPlan& plan) {
    std::string text;
    const auto add = [&](int count, const std::string& what) {
        if (count == 0)
            return;
        if (!text.empty())
            text += ' ';
        text += std::to_string(count) + (count == 1 ? " image " : " images ") + what + '.';
    };
    add(plan.AlphaLost, "lose their alpha (transparent pixels become black)");
    add(plan.AlphaReduced, "keep their alpha at half the width (WZL alpha planes)");
    add(plan.ColoursReduced,
        plan.TargetBitCount == 8
            ? "are reduced to the 256 colours of the palette"
            : "are reduced to " + std::to_string(plan.TargetBitCount) + "-bit colours");
    return text;
}

TConvertResult ConvertLibrary(const TConvertOptions& options, const TProgress& progress) {
    TConvertResult result;
    if (!ConversionSupported(options.SourceKind, options.TargetKind)) {
        result.Error = "this conversion is not offered (WIL, WZL and Pak libraries are written, "
                       "from any other kind)";
        return result;
    }
    if (!FileExists(options.SourcePath)) {
        result.Error = options.SourcePath + ": the file does not exist";
        return result;
    }
    if (options.TargetKind == t_Wil && options.BitCount != 0 && options.BitCount != 8 &&
        options.BitCount != 16 && options.BitCount != 24 && options.BitCount != 32) {
        result.Error = "a WIL library holds 8, 16, 24 or 32 bits per pixel";
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
    // Said of the target's folder, not of the temporary file the copy would be written to first.
    if (const std::string folder = ExtractFilePath(options.TargetPath);
        !folder.empty() && !std::filesystem::is_directory(folder, ec)) {
        result.Error = folder + ": the folder does not exist";
        return result;
    }
    try {
        Convert(options, progress, result);
    } catch (const std::exception& e) {
        result.Done = false;
        result.Error = e.what();
        // The new library is built under a hidden work name that means nothing to the user: its
        // errors are the target's.
        const auto* file = dynamic_cast<const EFileError*>(&e);
        if (file && ExtractFileName(file->Path()).starts_with("."))
            result.Error = options.TargetPath + result.Error.substr(file->Path().size());
    }
    return result;
}

} // namespace velmora
