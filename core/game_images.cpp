#include "core/game_images.h"

#include "core/checked.h"
#include "core/palette.h"
#include "core/png_picture.h"
#include "core/safe_replace.h"
#include "core/utils.h"

#include <cfenv>
#include <cmath>
#include <cstring>

namespace velmora {

namespace {

constexpr char kWilTitle[] = "WEMADE Entertainment inc.";
constexpr char kWzlTitle[] = "www.velmora.example";
constexpr int kWilHeaderSize = 56;
constexpr int kWzlDataHeaderSize = 64;
constexpr int kWzlIndexHeaderSize = 48;

// Writes a new, empty library: the data file and its index replace any old pair as one step, so
// that a failure or a crash while creating leaves the old library whole.
void WriteNewLibrary(const std::string& dataFile, const std::vector<uint8_t>& data,
                     const std::string& indexFile, const std::vector<uint8_t>& index) {
    for (const std::string* name : {&dataFile, &indexFile})
        if (FileExists(*name))
            ResetFileAttributes(*name);
    TFileReplacement replacement({dataFile, indexFile});
    replacement.Stream(0).Write(data);
    replacement.Stream(1).Write(index);
    replacement.Commit();
}

// A WZL header: the title as a length-prefixed string, then the 19 text bytes again over bytes
// 0 .. 18, so that the text fills bytes 0 .. 18 and its last character stays in byte 19.
std::vector<uint8_t> WzlHeader(size_t size) {
    std::vector<uint8_t> h(size, 0);
    const size_t n = sizeof(kWzlTitle) - 1;
    h[0] = uint8_t(n);
    std::memcpy(h.data() + 1, kWzlTitle, n);
    std::memcpy(h.data(), kWzlTitle, n);
    return h;
}

// The index file of a library: the data file's folder and base name with `ext`, in whatever case
// of the extension already exists.
std::string IndexFileName(const std::string& dataFile, const std::string& ext) {
    return FindFileAnyCaseExt(ExtractFilePath(dataFile) + FileNameWithoutExt(dataFile) + ext);
}

} // namespace

TGameImages::TGameImages(const std::string& AFileName, TImageType Image)
    : FFileName(AFileName), FImageType(Image) {}

// A virtual call from here would reach only this class's Finalize, so derived classes call their
// own Finalize in their destructors; this runs the base part (records and Source), which is safe
// to repeat.
TGameImages::~TGameImages() {
    TGameImages::Finalize();
}

void TGameImages::DoBeginRead() {
    if (FOnBeginRead)
        FOnBeginRead(this);
}
void TGameImages::DoRead() {
    if (FOnRead)
        FOnRead(this);
}
void TGameImages::DoEndRead() {
    if (FOnEndRead)
        FOnEndRead(this);
}

std::unique_ptr<TImageData> TGameImages::EncodeImage(TDIB&, int, int, uint8_t, const TDIB*) {
    return nullptr;
}

TPicture* TGameImages::GetBitmap(int) {
    return nullptr;
}

TPoint TGameImages::GetPoint(int) {
    return TPoint{};
}

void TGameImages::SetPoint(int, TPoint) {}

std::unique_ptr<TDIB> TGameImages::FillDIB() {
    auto dib = std::make_unique<TDIB>();
    int bits = FBitCount;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
        bits = 8;
    if (bits == 8) {
        dib->ColorTable() = DefaultPalette;
        dib->UpdatePalette();
    }
    dib->SetPixelFormat(bits == 16 ? MakePixelFormat(5, 6, 5) : MakePixelFormat(8, 8, 8));
    dib->SetSize(1, 1, bits);
    return dib;
}

void TGameImages::Initialize() {}

void TGameImages::Finalize() {
    m_Images.clear();
    Source.reset();
}

void TGameImages::BeginUpdate(int Index) {
    FDenyReadWrite = true;
    m_nIndex = Index;
    m_nSize = 0;
}

void TGameImages::EndUpdate() {
    FBeginUpdate = true;
    FDenyReadWrite = false;
    m_nIndex = -1;
}

void TGameImages::Convert(const TImageData*, TGameImages*, uint8_t) {}

bool TGameImages::CreateFile(uint8_t ABitCount, const std::string&) {
    switch (FImageType) {
    case t_Wil: {
        std::vector<uint8_t> data(kWilHeaderSize + sizeof(TColorTable), 0);
        const size_t n = sizeof(kWilTitle) - 1;
        data[0] = uint8_t(n);
        std::memcpy(data.data() + 1, kWilTitle, n);
        uint32_t colorCount = 0;
        switch (ABitCount) {
        case 8:
            colorCount = 256;
            break;
        case 16:
            colorCount = 65536;
            break;
        case 24:
            colorCount = 16777216;
            break;
        case 32:
            colorCount = 0xFFFFFFFF;
            break;
        }
        PutU32(data.data() + 44, 0);
        PutU32(data.data() + 48, colorCount);
        PutU32(data.data() + 52, uint32_t(data.size()));
        for (size_t i = 0; i < DefaultPalette.size(); ++i) {
            uint8_t* p = data.data() + kWilHeaderSize + i * 4;
            p[0] = DefaultPalette[i].rgbBlue;
            p[1] = DefaultPalette[i].rgbGreen;
            p[2] = DefaultPalette[i].rgbRed;
            p[3] = 0;
        }
        std::vector<uint8_t> index(kWilHeaderSize, 0);
        std::memcpy(index.data(), data.data(), 26);
        WriteNewLibrary(FFileName, data, IndexFileName(FFileName, ".WIX"), index);
        return true;
    }
    case t_Wzl:
        WriteNewLibrary(FFileName, WzlHeader(kWzlDataHeaderSize), IndexFileName(FFileName, ".wzx"),
                        WzlHeader(kWzlIndexHeaderSize));
        return true;
    default:
        return false;
    }
}

std::unique_ptr<TPicture> TGameImages::Get(int, int&, int&) {
    return nullptr;
}

bool TGameImages::Add(TDIB& ASource, int X, int Y, uint8_t btEncr0, const TDIB* Alpha) {
    std::unique_ptr<TImageData> record = EncodeImage(ASource, X, Y, btEncr0, Alpha);
    if (!record)
        return false;
    m_nSize += record->DataSize + 4;
    m_Images.push_back(std::move(record));
    return true;
}

bool TGameImages::Insert(int, TDIB& ASource, int X, int Y, uint8_t btEncr0, const TDIB* Alpha) {
    if (m_nIndex < 0 || size_t(m_nIndex) >= m_Images.size())
        return false;
    std::unique_ptr<TImageData> record = EncodeImage(ASource, X, Y, btEncr0, Alpha);
    if (!record)
        return false;
    m_nSize += record->DataSize + 4;
    m_Images.insert(m_Images.begin() + m_nIndex, std::move(record));
    ++m_nIndex;
    return true;
}

// Unlike the Part, a failed encoding keeps the old record in its slot: removing the slot would
// renumber every later image of a library that the game addresses by number.
bool TGameImages::Replace(int, TDIB& ASource, int X, int Y, uint8_t btEncr0, const TDIB* Alpha) {
    if (m_nIndex < 0 || size_t(m_nIndex) >= m_Images.size())
        return false;
    std::unique_ptr<TImageData> record = EncodeImage(ASource, X, Y, btEncr0, Alpha);
    if (!record)
        return false;
    m_Images[size_t(m_nIndex)] = std::move(record);
    ++m_nIndex;
    return true;
}

bool TGameImages::Delete(int StartIndex, int StopIndex, const TNotifyEvent& NotifyEvent) {
    if (StartIndex < 0 || StartIndex > StopIndex || size_t(StopIndex) >= m_Images.size())
        return false;
    BeginUpdate(-1);
    for (int i = StopIndex; i >= StartIndex; --i) {
        if (NotifyEvent)
            NotifyEvent(this);
        m_Images.erase(m_Images.begin() + i);
    }
    EndUpdate();
    return true;
}

bool TGameImages::Fill(int StartIndex, int StopIndex, const TNotifyEvent& NotifyEvent) {
    if (StartIndex < 0 || StartIndex > StopIndex || size_t(StopIndex) >= m_Images.size())
        return false;
    BeginUpdate(-1);
    for (int i = StartIndex; i <= StopIndex; ++i) {
        if (NotifyEvent)
            NotifyEvent(this);
        TImageData& record = *m_Images[size_t(i)];
        record.HeaderSize = 0;
        record.DataSize = 0;
        record.Image.clear();
        record.Image.shrink_to_fit();
    }
    EndUpdate();
    return true;
}

void TGameImages::StretchBlt(int Index, TDIB& DC, int X, int Y, int& Width, int& Height) {
    TPicture* picture = GetBitmap(Index);
    if (!picture)
        return;
    FitToBox(picture->Width(), picture->Height(), Width, Height);
    DrawGraphic(*picture, DC, X, Y, Width, Height);
}

void FitToBox(int W, int H, int& Width, int& Height) {
    if (W > Width || H > Height) {
        // Round to nearest, halves to even (the default floating-point rounding).
        auto roundEven = [](double v) -> int {
            int mode = std::fegetround();
            std::fesetround(FE_TONEAREST);
            double r = std::nearbyint(v);
            std::fesetround(mode);
            return int(r);
        };
        if (W > H)
            Height = W != 0 ? roundEven(double(H) * double(Height) / double(W)) : 0;
        else
            Width = H != 0 ? roundEven(double(W) * double(Width) / double(H)) : 0;
    } else {
        Width = W;
        Height = H;
    }
}

void DrawGraphic(const TPicture& Picture, TDIB& DC, int X, int Y, int Width, int Height) {
    // 1. A working bitmap of the picture; alpha pictures become 32 bits with alpha on top.
    TDIB work;
    if (const TPngPicture* png = Picture.AsPng()) {
        std::unique_ptr<TDIB> converted = png->HasAlpha() ? png->ToDIBWithAlpha() : png->ToDIB();
        work = std::move(*converted);
    } else if (const TDIB* dib = Picture.AsDIB()) {
        work = *dib;
    } else {
        return;
    }
    if (Width <= 0 || Height <= 0 || work.Empty())
        return;
    // 2. Stretch it into a surface of the box's size, then compose with black transparent.
    TDIB stretched;
    stretched.SetSize(Width, Height, 32);
    stretched.StretchDraw(0, 0, Width, Height, work);
    BlitTransparent(DC, X, Y, stretched, RGBColor(0, 0, 0));
}

} // namespace velmora
