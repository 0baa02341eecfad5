#pragma once

// Shared fixtures of the editor's GUI tests: a private program folder, generated libraries of
// every kind, and the editor's windows created as the program creates them.

#include "app/globals.h"
#include "app/library_document.h"
#include "app/main_window.h"
#include "app/prompts.h"
#include "app/worker.h"
#include "core/game_images.h"
#include "files/app_dir.h"
#include "files/log.h"
#include "files/pak_passwords.h"
#include "formats/pak.h"
#include "operations/library_kind.h"
#include "support/pak_support.h"
#include "support/wis_writer.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <csignal>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
#include <sys/resource.h>

namespace velmora::gui_test {

// A fresh program folder (VELMORA_HOME) for one test, with the shell's globals reset.
class TEditorHome {
public:
    TEditorHome() {
        qputenv("VELMORA_HOME", (FDir.path() + QLatin1Char('/')).toUtf8());
        g_AppDir = FDir.path().toStdString() + "/";
        SetLogFileName({});
        g_RecentFiles.clear();
        g_CurrentDir.clear();
        g_PakPasswords.clear();
    }
    ~TEditorHome() { qunsetenv("VELMORA_HOME"); }
    TEditorHome(const TEditorHome&) = delete;
    TEditorHome& operator=(const TEditorHome&) = delete;

    std::string Path() const { return FDir.path().toStdString() + "/"; }
    std::string File(const std::string& name) const { return Path() + name; }
    // A sub-folder, created; ends in a separator.
    std::string Folder(const std::string& name) const {
        QDir(FDir.path()).mkpath(QString::fromStdString(name));
        return Path() + name + "/";
    }

private:
    QTemporaryDir FDir;
};

inline void WriteText(const std::string& fileName, const std::string& text) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string ReadText(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline int CountLines(const std::string& text) {
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines;
}

// One picture of a generated library: its size and offset.
struct TSpriteSpec {
    int Width = 16;
    int Height = 12;
    int X = 0;
    int Y = 0;
    // A single colour (red in the low byte) instead of a pattern; 0 keeps the pattern.
    TColor Solid = 0;
    // An alpha plane (WZL and Pak only).
    bool Alpha = false;
};

inline std::vector<TSpriteSpec> Sprites(int count, int width = 16, int height = 12) {
    std::vector<TSpriteSpec> sprites;
    for (int i = 0; i < count; ++i)
        sprites.push_back({width, height, i - 24, 7});
    return sprites;
}

// Caps the size of files this process writes, so that a library rewrite fails as on a full disk.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{bytes, FOld.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit FOld{};
    void (*FOldHandler)(int) = nullptr;
};

// Opens a library of any kind outside the editor, to look at what a command wrote; null when it
// does not open.
inline std::unique_ptr<TGameImages> Reopen(const std::string& path,
                                           const std::string& password = kDefaultPakPassword) {
    std::unique_ptr<TGameImages> library = CreateLibrary(LibraryKindOf(path), path);
    if (!library)
        return nullptr;
    if (library->ImageType() == t_Quillrand && !TryPakPassword(*library, password))
        return nullptr;
    library->Initialize();
    return library->Initialized() ? std::move(library) : nullptr;
}

// Writes a library of the kind at path holding the sprites: WIL, WZL and Pak through their own
// writers (Pak keyed by password; btEncr0 1 compresses), WIS through the test writer.
inline bool MakeLibrary(TImageType kind, const std::string& path,
                        const std::vector<TSpriteSpec>& sprites, int bitCount = 16,
                        const std::string& password = kDefaultPakPassword, uint8_t compress = 1) {
    if (kind == t_Wis) {
        test::TWisWriter writer;
        uint32_t seed = 1;
        for (const TSpriteSpec& s : sprites) {
            std::vector<uint8_t> pixels(size_t(s.Width * s.Height));
            for (size_t i = 0; i < pixels.size(); ++i)
                pixels[i] = uint8_t(1 + (i * 7 + seed) % 250);
            writer.AddImage(s.Width, s.Height, s.X, s.Y, pixels, (seed & 1) != 0);
            ++seed;
        }
        writer.Save(path);
        return true;
    }
    {
        std::unique_ptr<TGameImages> creator = CreateLibrary(kind, path);
        if (!creator || !creator->CreateFile(uint8_t(bitCount), password))
            return false;
    }
    std::unique_ptr<TGameImages> library = CreateLibrary(kind, path);
    if (kind == t_Quillrand && !TryPakPassword(*library, password))
        return false;
    library->Initialize();
    if (!library->Initialized())
        return false;
    auto update = library->BeginUpdate(-1);
    uint32_t seed = 1;
    for (const TSpriteSpec& s : sprites) {
        std::unique_ptr<TDIB> dib = test::MakePatternDIB(s.Width, s.Height, bitCount, seed);
        if (s.Solid != 0)
            dib->FillRect(0, 0, s.Width, s.Height, s.Solid);
        std::unique_ptr<TDIB> alpha;
        if (s.Alpha)
            alpha = test::MakeAlphaDIB(s.Width, s.Height, seed);
        ++seed;
        if (!update.Add(*dib, s.X, s.Y, compress, alpha.get()))
            return false;
    }
    update.EndUpdate();
    return true;
}

// The editor's window, created as the program creates it, with scripted prompts installed.
class TEditor {
public:
    TScriptedPrompts Prompts;

    TEditor() : FScope(Prompts), FMain(std::make_unique<TfrmMain>()) {}
    ~TEditor() { FMain.reset(); }
    TEditor(const TEditor&) = delete;
    TEditor& operator=(const TEditor&) = delete;

    TfrmMain& Main() const { return *FMain; }
    // The open document and its library; null when none is open.
    TLibraryDocument* Doc() const { return FMain->Document(); }
    TGameImages* Library() const { return Doc() ? &Doc()->Library() : nullptr; }

private:
    TScopedPrompts FScope;
    std::unique_ptr<TfrmMain> FMain;
};

// Waits for every job running on a worker (the reading of a library, a document's edit), as the
// window's event loop would, and for the ends they report.
inline void WaitForJobs() {
    TWorker::WaitForAll();
}

// Opens a library as the window does and waits until it has been read.
inline void Open(TfrmMain& main, const std::string& path) {
    main.OpenLibrary(path);
    WaitForJobs();
}

// Opens libraries one after another, each in its tab (as `velmora FILE...` does), and waits until
// `tabs` tabs are open and nothing is read any more.
inline void OpenInTabs(TfrmMain& main, const std::vector<std::string>& files, size_t tabs) {
    for (const std::string& file : files)
        main.OpenLibrary(file);
    for (int round = 0; round < 400 && (main.Opening() || main.Documents().size() < tabs);
         ++round) {
        WaitForJobs();
        QTest::qWait(5);
    }
}

inline void Undo(TfrmMain& main) {
    main.Undo();
    WaitForJobs();
}

inline void Redo(TfrmMain& main) {
    main.Redo();
    WaitForJobs();
}

// The undo steps before the document's position (what undo can take back).
inline int UndoSteps(const TfrmMain& main) {
    return main.Document() ? main.Document()->UndoStack()->index() : 0;
}

} // namespace velmora::gui_test
