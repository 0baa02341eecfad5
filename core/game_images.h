#pragma once

#include "core/dib.h"
#include "core/file_stream.h"
#include "core/picture.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velmora {

// Library kind.
enum TImageType : uint8_t {
    t_Wil = 0,
    t_Wis = 1,
    t_Wzl = 2,
    t_Quillrand = 3,
};

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

// One image record in memory: the per-image header followed by the payload exactly as the format
// stores it. An emptied record has HeaderSize and DataSize 0 and no Image.
struct TImageData {
    bool boCompression = false;
    int32_t HeaderSize = 0;
    int32_t DataSize = 0;
    int32_t OffSet = 0;
    std::vector<uint8_t> Image; // empty = no Image
    bool HasImage() const { return !Image.empty(); }
};
using pTImageData = TImageData*;

class TGameImages;
// A notification called with the library as sender.
using TNotifyEvent = std::function<void(TGameImages* Sender)>;

// The abstract library: one object stands for one library file. It keeps the image list in memory,
// hands out pictures and offsets, draws thumbnails, and carries the editing protocol every command
// uses: BeginUpdate(start); any number of Add, Insert or Replace; EndUpdate, at which the format
// rewrites its files from the list. Delete and Fill bracket themselves; SetPoint patches one
// stored image header in place.
//
// Refusals are results (false, null, (0, 0)); file-system errors while writing raise EFileError.
// Get may run on several worker threads at once while the main thread calls GetBitmap.
class TGameImages {
public:
    TGameImages(const std::string& AFileName, TImageType Image);
    TGameImages(const TGameImages&) = delete;
    TGameImages& operator=(const TGameImages&) = delete;
    // Derived classes call their own Finalize in their destructors.
    virtual ~TGameImages();

    // Virtual operations, in slot order.
    virtual std::unique_ptr<TImageData> EncodeImage(TDIB& Source, int X, int Y, uint8_t btEncr0,
                                                    const TDIB* Alpha);
    // The library keeps the picture (it becomes Source) until the next GetBitmap or Finalize.
    virtual TPicture* GetBitmap(int Index);
    virtual TPoint GetPoint(int Index);
    virtual void SetPoint(int Index, TPoint Value);
    // A new 1x1 blank picture of the library's bit count.
    virtual std::unique_ptr<TDIB> FillDIB();
    virtual void Initialize();
    virtual void Finalize();
    virtual void BeginUpdate(int Index);
    virtual void EndUpdate();
    virtual void Convert(const TImageData* SourceImageData, TGameImages* GameImages,
                         uint8_t btEncr0);
    virtual bool CreateFile(uint8_t ABitCount, const std::string& PassWord);
    // A new picture the caller owns; px, py receive the offset.
    virtual std::unique_ptr<TPicture> Get(int Index, int& px, int& py);
    virtual bool Add(TDIB& Source, int X, int Y, uint8_t btEncr0, const TDIB* Alpha);
    virtual bool Delete(int StartIndex, int StopIndex, const TNotifyEvent& NotifyEvent);
    virtual bool Fill(int StartIndex, int StopIndex, const TNotifyEvent& NotifyEvent);
    virtual bool Replace(int Index, TDIB& Source, int X, int Y, uint8_t btEncr0, const TDIB* Alpha);
    virtual bool Insert(int Index, TDIB& Source, int X, int Y, uint8_t btEncr0, const TDIB* Alpha);

    // Draws image Index into DC with its top-left corner at (X, Y), fitted into Width x Height;
    // returns the drawn size in Width and Height. Draws nothing (sizes unchanged) when
    // GetBitmap yields null.
    void StretchBlt(int Index, TDIB& DC, int X, int Y, int& Width, int& Height);

    const std::string& FileName() const { return FFileName; }
    int ImageCount() const { return FImageCount; }
    TImageType ImageType() const { return FImageType; }
    int BitCount() const { return FBitCount; }
    bool Initialized() const { return FInitialized; }
    bool DenyReadWrite() const { return FDenyReadWrite; }
    // True once the library has been rewritten by EndUpdate.
    bool Updated() const { return FBeginUpdate; }

    void SetOnBeginRead(TNotifyEvent e) { FOnBeginRead = std::move(e); }
    void SetOnRead(TNotifyEvent e) { FOnRead = std::move(e); }
    void SetOnEndRead(TNotifyEvent e) { FOnEndRead = std::move(e); }
    // The installed read events, so that a command borrowing them can put them back.
    const TNotifyEvent& OnBeginRead() const { return FOnBeginRead; }
    const TNotifyEvent& OnRead() const { return FOnRead; }
    const TNotifyEvent& OnEndRead() const { return FOnEndRead; }

    // The in-memory records (read by Convert targets and by tools that inspect a library).
    const std::vector<std::unique_ptr<TImageData>>& Images() const { return m_Images; }

protected:
    void DoBeginRead();
    void DoRead();
    void DoEndRead();

    std::unique_ptr<TFileStream> m_FileStream;
    std::vector<uint8_t> m_MemoryStream;
    std::vector<std::unique_ptr<TImageData>> m_Images;
    int32_t m_nIndex = -1;
    int32_t m_nSize = 0;
    int32_t m_nFileHeaderSize = 0;
    int32_t m_nIndexHeaderSize = 0;
    int32_t m_nImageHeaderSize = 0;
    std::unique_ptr<TDIB> SpaceDIB;
    bool FDenyReadWrite = false;
    std::string FFileName;
    int32_t FImageCount = 0;
    TImageType FImageType;
    int32_t FBitCount = 8;
    bool FInitialized = false;
    std::unique_ptr<TPicture> Source;
    bool FBeginUpdate = false;
    TNotifyEvent FOnBeginRead, FOnRead, FOnEndRead;
    std::mutex FCriticalSection;
};

// Draws a picture fitted into Width x Height at (X, Y) of DC with black transparent: pictures with
// alpha (PNG colour types 4 and 6) are made 32-bit with the alpha in the top bytes first.
void DrawGraphic(const TPicture& Picture, TDIB& DC, int X, int Y, int Width, int Height);

// The fit rule of StretchBlt: a picture larger than the box shrinks keeping its aspect ratio
// (round half to even), a smaller one keeps its natural size.
void FitToBox(int W, int H, int& Width, int& Height);

} // namespace velmora
