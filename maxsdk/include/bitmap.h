// Bitmaps, their image information and the bitmap input/output plug-in interface.
#pragma once

#include "baseinterface.h"
#include "gbuf.h"
#include "matrix3.h"
#include "maxapi.h"
#include "maxheap.h"
#include "maxtypes.h"
#include "point2.h"
#include "point3.h"
#include "ray.h"
#include "strbasic.h"
#include "utilexp.h"

#include <memory>

class Bitmap;
class BitmapIO;
class BitmapStorage;

typedef unsigned short BMMRES;

// Results of image input/output operations.
#define BMMRES_SUCCESS 0
#define BMMRES_ERRORTAKENCARE 1 // the callee has already dealt with the error
#define BMMRES_FILENOTFOUND 2
#define BMMRES_MEMORYERROR 3
#define BMMRES_NODRIVER 4
#define BMMRES_IOERROR 5
#define BMMRES_INVALIDFORMAT 6
#define BMMRES_CORRUPTFILE 7
#define BMMRES_SINGLEFRAME 8
#define BMMRES_INVALIDUSAGE 9
#define BMMRES_RETRY 10
#define BMMRES_NUMBEREDFILENAMEERROR 11
#define BMMRES_INTERNALERROR 12
#define BMMRES_BADFILEHEADER 13
#define BMMRES_CANTSTORAGE 14
#define BMMRES_BADFRAME 15

// Open modes of a bitmap-IO object.
#define BMM_NOT_OPEN 0
#define BMM_OPEN_R 1
#define BMM_OPEN_W 2

// Frame number of an image that is not part of a numbered sequence.
#define BMM_SINGLEFRAME -2000000

// Capabilities a bitmap-IO object reports.
#define BMMIO_NONE 0
#define BMMIO_READER (1 << 0)
#define BMMIO_WRITER (1 << 1)
#define BMMIO_EXTENSION (1 << 2)
#define BMMIO_MULTIFRAME (1 << 3)
#define BMMIO_THREADED (1 << 4)
#define BMMIO_RANDOM_ACCESS (1 << 5)
#define BMMIO_NON_CONCURRENT_ACCESS (1 << 6)
#define BMMIO_OWN_VIEWER (1 << 7)
#define BMMIO_INFODLG (1 << 9)
#define BMMIO_UNINTERRUPTIBLE (1 << 10)
#define BMMIO_EVALMATCH (1 << 11)
#define BMMIO_IFL (1 << 28)
#define BMMIO_CONTROLREAD (1 << 29)
#define BMMIO_CONTROLWRITE (1 << 30)
#define BMMIO_CONTROLGENERIC (1u << 31)

// Close modes.
#define BMM_CLOSE_COMPLETE 0
#define BMM_CLOSE_ABANDON 1

// Folders the bitmap manager knows.
#define APP_PLUGCFG_DIR 10

// Bitmap types.
#define BMM_NO_TYPE 0
#define BMM_TRUE_32 6
#define BMM_TRUE_64 7

// Describes an image: its file or device name, size and frames.
class BitmapInfo : public MaxHeapOperators {
public:
    BMMExport BitmapInfo();
    BMMExport BitmapInfo(const MCHAR* name);
    BMMExport virtual ~BitmapInfo();

    BMMExport const MCHAR* Name() const;
    BMMExport void SetName(const MCHAR* name);
    BMMExport const MCHAR* Device() const;
    BMMExport void SetDevice(const MCHAR* device);
    WORD Width() const { return width; }
    WORD Height() const { return height; }
    void SetWidth(WORD w) { width = w; }
    void SetHeight(WORD h) { height = h; }
    int Type() const { return type; }
    void SetType(int t) { type = t; }
    float Aspect() const { return aspect; }
    void SetAspect(float a) { aspect = a; }
    float Gamma() const { return gamma; }
    void SetGamma(float g) { gamma = g; }
    int FirstFrame() const { return firstFrame; }
    int LastFrame() const { return lastFrame; }
    void SetFirstFrame(int f) { firstFrame = f; }
    void SetLastFrame(int f) { lastFrame = f; }
    DWORD Flags() const { return flags; }
    void SetFlags(DWORD f) { flags = f; }

    // Copies the image description of another BitmapInfo (name, device, size, type, aspect,
    // gamma, frames and flags) into this one.
    BMMExport void CopyImageInfo(BitmapInfo* from);

private:
    MCHAR name[MAX_PATH];
    MCHAR device[MAX_PATH];
    WORD width;
    WORD height;
    int type;
    float aspect;
    float gamma;
    int firstFrame;
    int lastFrame;
    DWORD flags;
};

// Writes the name of frame number frame of a numbered sequence into nameout (MAX_PATH
// characters): the frame number in at least four digits inserted before the extension, or
// appended when the name has none ("face.orv", 7 -> "face0007.orv"). Returns FALSE, with
// nameout empty, for an empty name, a negative frame or a result longer than MAX_PATH - 1.
BMMExport BOOL BMMCreateNumberedFilename(const MCHAR* namein, int frame, MCHAR* nameout);

enum ProjectionType { ProjPerspective = 0, ProjParallel = 1 };

// What the renderer tells about the view it rendered into an output bitmap.
//
// Screen points are in pixels, x to the right and y downwards from the image's top-left
// corner, so the centre of pixel (i, j) is (i + 0.5, j + 0.5). Camera space has x to the
// right and y up, and the camera looks down -z. A camera-space point p is seen at
//   perspective: (xc + kx * p.x / -p.z, yc - ky * p.y / -p.z)
//   parallel:    (xc + kx * p.x, yc - ky * p.y)
// so kx and ky are pixels per unit of the image plane at distance 1 (perspective) or per
// scene unit (parallel). Field 1 is used only for field renders.
class RenderInfo : public MaxHeapOperators {
public:
    BMMExport RenderInfo();

    ProjectionType projType;
    float kx, ky;
    float xc, yc;
    BOOL fieldRender;
    BOOL fieldOdd;
    TimeValue renderTime[2];
    Matrix3 worldToCam[2];
    Matrix3 camToWorld[2];

    Point2 MapWorldToScreen(Point3 p, int field = 0) {
        return MapCamToScreen(worldToCam[field] * p);
    }
    BMMExport Point2 MapCamToScreen(Point3 p);
    // The viewing ray through a screen point, in camera space: from the eye (perspective) or
    // from the point's place on the plane z = 0 (parallel), with a direction of length 1.
    BMMExport Ray MapScreenToCamRay(Point2 p);
    BMMExport Ray MapScreenToWorldRay(Point2 p, int field = 0);
};

// The pixels and render channels of a bitmap. Its image information bi holds its size.
class BitmapStorage : public MaxHeapOperators {
public:
    BMMExport BitmapStorage();
    BMMExport virtual ~BitmapStorage();
    BitmapStorage(const BitmapStorage&) = delete;
    BitmapStorage& operator=(const BitmapStorage&) = delete;

    BitmapInfo bi;
    int Width() { return bi.Width(); }
    int Height() { return bi.Height(); }

    // Reads or writes pixels pixels of row y from column x; non-zero on success.
    virtual int GetPixels(int x, int y, int pixels, BMM_Color_64* ptr) = 0;
    virtual int PutPixels(int x, int y, int pixels, BMM_Color_64* ptr) = 0;

    // Render channels (BMM_CHAN_*), Width() x Height() elements each, row after row from the
    // top. GetChannel returns a channel's data and its element type (BMM_CHAN_TYPE_*), or
    // null when the bitmap does not carry it. CreateChannels makes the missing ones of
    // channelIDs (Z filled with -1e30, "nothing hit"; everything else with zero bytes) and
    // returns the channels present.
    BMMExport virtual void* GetChannel(ULONG channelID, ULONG& chanType);
    BMMExport virtual ULONG CreateChannels(ULONG channelIDs);
    BMMExport virtual void DeleteChannels(ULONG channelIDs);
    BMMExport virtual ULONG ChannelsPresent();

    // The render information of an output bitmap, written by the renderer: AllocRenderInfo
    // makes it when it does not exist yet; GetRenderInfo returns it or null.
    BMMExport RenderInfo* AllocRenderInfo();
    BMMExport RenderInfo* GetRenderInfo();

private:
    struct Channels;
    std::unique_ptr<Channels> channels;
    std::unique_ptr<RenderInfo> renderInfo;
    friend class BitmapManagerImp;
};

// A bitmap in the host's memory, made by the bitmap manager.
class Bitmap : public MaxHeapOperators {
public:
    BMMExport virtual ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    BMMExport int Width();
    BMMExport int Height();
    // The bitmap's pixels and channels, or null for a bitmap without storage.
    BMMExport BitmapStorage* Storage();
    // Releases the bitmap; the host's way of deleting it.
    BMMExport int DeleteThis();

protected:
    BMMExport explicit Bitmap(const BitmapInfo& info);
    BitmapInfo info;
    BitmapStorage* storage; // owned
    friend class BitmapManager;
    friend class BitmapManagerImp;
};

// The host's bitmap manager.
class BitmapManager : public MaxHeapOperators {
public:
    virtual ~BitmapManager() {}
    // The host's main interface.
    virtual Interface* Max() = 0;
    // Non-zero while no dialog or message box may be shown (network and command-line renders).
    virtual BOOL SilentMode() = 0;
    virtual const MCHAR* GetDir(int which) = 0;
    // Makes a bitmap of the size the information gives. Unless its type is BMM_NO_TYPE, it
    // has a storage of 16 bits a colour component, all pixels zero, without channels or
    // render information.
    virtual Bitmap* Create(BitmapInfo* info) = 0;

protected:
    BMMExport static Bitmap* MakeBitmap(const BitmapInfo& info);
};

extern BMMExport BitmapManager* TheManager;

// Base class of image input/output plug-ins. The host calls the virtual operations; an
// implementation overrides what its format needs and inherits the rest.
class BitmapIO : public BaseInterfaceServer {
protected:
    float gamma;
    Bitmap* map;            // the bitmap being written, set by OpenOutput
    BitmapStorage* storage; // the storage being read
    int openMode;           // BMM_NOT_OPEN, BMM_OPEN_R or BMM_OPEN_W
    BitmapIO* prevIO;
    BitmapIO* nextIO;

public:
    BMMExport BitmapIO();
    BMMExport ~BitmapIO() override;

    BitmapInfo bi;

    int OpenMode() { return openMode; }
    Bitmap* Map() { return map; }

    virtual int ExtCount() = 0;
    virtual const MCHAR* Ext(int n) = 0;
    virtual const MCHAR* LongDesc() = 0;
    virtual const MCHAR* ShortDesc() = 0;
    virtual const MCHAR* AuthorName() = 0;
    virtual const MCHAR* CopyrightMessage() = 0;
    virtual UINT Version() = 0;
    virtual int Capability() = 0;
    virtual void ShowAbout(HWND hWnd) = 0;
    virtual BOOL ShowImage(HWND /*hWnd*/, BitmapInfo* /*bi*/) { return FALSE; }
    virtual BOOL ShowControl(HWND /*hWnd*/, DWORD /*flag*/) { return FALSE; }

    // The configuration block: its size, loading and saving. The host keeps the block.
    virtual DWORD EvaluateConfigure() = 0;
    virtual BOOL LoadConfigure(void* ptr, DWORD piDataSize) = 0;
    virtual BOOL SaveConfigure(void* ptr) = 0;

    // The configuration file in the host's plug-in configuration folder:
    // GetCfgFilename names it (the folder, then ShortDesc() and ".cfg"), ReadCfg hands its
    // bytes to LoadConfigure and returns the result (FALSE when the file cannot be read),
    // WriteCfg stores the block that EvaluateConfigure sizes and SaveConfigure fills.
    BMMExport virtual void GetCfgFilename(MCHAR* filename);
    BMMExport virtual BOOL ReadCfg();
    BMMExport virtual void WriteCfg();

    BMMExport virtual BOOL ValidatePiData(BitmapInfo* bi);
    virtual DWORD ChannelsRequired() { return BMM_CHAN_NONE; }
    virtual BMMRES GetImageInfoDlg(HWND /*hWnd*/, BitmapInfo* /*bi*/,
                                   const MCHAR* /*filename*/ = nullptr) {
        return BMMRES_NODRIVER;
    }
    virtual BMMRES GetImageInfo(BitmapInfo* bi) = 0;
    virtual BMMRES GetImageName(BitmapInfo* /*bi*/, MCHAR* filename) {
        filename[0] = 0;
        return BMMRES_SUCCESS;
    }
    virtual void EvalMatch(MCHAR* matchString) { matchString[0] = 0; }
    virtual BitmapStorage* Load(BitmapInfo* bi, Bitmap* map, BMMRES* status) = 0;
    BMMExport virtual BMMRES OpenOutput(BitmapInfo* bi, Bitmap* map);
    BMMExport virtual BMMRES Write(int frame);
    // Ends an output: the object is no longer open.
    BMMExport virtual int Close(int flag);
    virtual void* GetPaviFile() { return nullptr; }

    // Whether the host forbids dialogs and message boxes now.
    BMMExport BOOL SilentMode();
    // Report an error to the user through the host; the result is the host's, to be returned
    // by the caller as its own.
    BMMExport BMMRES ProcessImageIOError(BitmapInfo* bi, const MCHAR* string = nullptr);
    BMMExport BMMRES ProcessImageIOError(BitmapInfo* bi, int errorcode);
};
