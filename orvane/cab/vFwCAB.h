// tvFwCAB: the cabinet-writer component. It packs the files that its two mask
// lists select into one cabinet, or into a numbered set of cabinets spanning
// several disks, through the cabinet interface layer (vCabIntf.h). Its owner
// follows the build and answers its questions through four events.
//
// Encode runs a whole build on the calling thread. Every event is raised on
// that thread, synchronously, and only when a handler is set; OnMinorStatus
// during compression and OnMessageNotify are raised from inside the layer's
// calls. The component does no locking. The layer's relays reach the
// component through one process-wide current component, so a process runs one
// build at a time.
#pragma once

#include "vCabIntf.h"

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

class tvFwCAB;

// Progress over the whole build.
using TEncodeMajorUpdate =
    std::function<void(tvFwCAB& Sender, const std::string& CabName, int Percent, bool& Abort)>;
// Progress within the file being compressed.
using TEncodeMinorUpdate =
    std::function<void(tvFwCAB& Sender, const std::string& FileName, int Percent, bool& Abort)>;
// Names the next cabinet and disk when a cabinet is full.
using TMessageNotify =
    std::function<void(tvFwCAB& Sender, std::string& NewCabName, std::string& NewDiskName,
                       int CabNo, int& DiskNo, bool& Abort)>;
// Reports a problem and takes the owner's decision in Action (-1, 0 or 1).
using TErrorNotify = std::function<void(tvFwCAB& Sender, int ErrID, int APICode,
                                        const std::string& ErrText, int& Action)>;

// Error identifiers passed as ErrID.
enum : int {
    ceUserAbort = 801,     // APICode 0, "User abort"
    ceCabFailure = 802,    // adding a file or flushing failed
    ceCreateFailure = 803, // creating the compression context failed
    ceCabExists = 804,     // APICode 0, "Cabinet already exists"
    // APICode 0: a build that did not finish removed the cabinets of its set
    // that it could reach; ErrText names those that are left elsewhere.
    ceSetIncomplete = 805,
};

class tvFwCAB {
  public:
    using TStringList = std::vector<std::string>;

    tvFwCAB();
    ~tvFwCAB();
    tvFwCAB(const tvFwCAB&) = delete;
    tvFwCAB& operator=(const tvFwCAB&) = delete;

    // ---- published properties ------------------------------------------

    // Full path of the cabinet being written; before a build, the first one.
    // When a further cabinet is started it becomes the folder of the old
    // value followed by the new cabinet's name.
    std::string CabFile() const { return cabFile_; }
    void SetCabFile(const std::string& v) { cabFile_ = v; }
    // Disk label of the first cabinet.
    std::string DiskName() const { return diskName_; }
    void SetDiskName(const std::string& v) { diskName_ = v; }
    // Folder threshold in bytes.
    std::int32_t FolderSize() const { return folderSize_; }
    void SetFolderSize(std::int32_t v) { folderSize_ = v; }
    // Largest size of one cabinet in bytes.
    std::int32_t DiskSize() const { return diskSize_; }
    void SetDiskSize(std::int32_t v) { diskSize_ = v; }
    // Bytes reserved in each cabinet header.
    std::int32_t Reserved() const { return reserved_; }
    void SetReserved(std::int32_t v) { reserved_ = v; }
    TCompressionType CompType() const { return compType_; }
    void SetCompType(TCompressionType v) { compType_ = v; }
    // Strength of LZX compression; used only with ctLzx.
    std::int32_t CompFactor() const { return compFactor_; }
    void SetCompFactor(std::int32_t v) { compFactor_ = v; }
    // Masks searched in their own folder only.
    TStringList& AddFiles() { return addFiles_; }
    const TStringList& AddFiles() const { return addFiles_; }
    void SetAddFiles(const TStringList& v) { addFiles_ = v; }
    // Masks searched in their folder and all its subfolders.
    TStringList& RecurseFiles() { return recurseFiles_; }
    const TStringList& RecurseFiles() const { return recurseFiles_; }
    void SetRecurseFiles(const TStringList& v) { recurseFiles_ = v; }
    // Store each file under a name with its path.
    bool StorePath() const { return storePath_; }
    void SetStorePath(bool v) { storePath_ = v; }
    // With StorePath: the path is relative to the mask's folder.
    bool PartialPath() const { return partialPath_; }
    void SetPartialPath(bool v) { partialPath_ = v; }

    TEncodeMajorUpdate OnMajorStatus;
    TEncodeMinorUpdate OnMinorStatus;
    TMessageNotify OnMessageNotify;
    TErrorNotify OnErrorNotify;

    // ---- the build ------------------------------------------------------

    // Runs one build with the current property values. Its outcome is seen
    // through the events, the cabinets written and CabFile.
    void Encode();

    // The cabinet that could not be created or written when the last
    // ceCabFailure or ceCreateFailure was raised; empty when that failure was
    // not about a cabinet file.
    std::string FailedCabinet() const { return failedCabinet_; }

    // ---- entry points of the layer's relays ---------------------------

    // Raises OnMinorStatus for the file being compressed.
    void FileProgress(const std::string& fileName, int percent, bool& abort);
    // Lets the owner name the next cabinet and disk; CabFile follows the name.
    void NextCabinet(std::string& cabName, std::string& diskName, int cabNo, int& diskNo,
                     bool& abort);

    // The component that the relays reach: the most recently constructed one,
    // or the one whose build runs. Null once it is destroyed.
    static tvFwCAB* Current();

    // LZX window exponent for a compression factor: factor + 14, kept to 15..21.
    static int WindowExponent(std::int32_t compFactor);
    // Percent of a build after filesDone of fileTotal files. A total of 0
    // (files that appeared after the counting pass) gives 100 instead of a
    // division by zero; otherwise the value is not clamped.
    static int FilesPercent(std::int32_t filesDone, std::int32_t fileTotal);

  private:
    void AddOneFile(HCabContext h, const std::string& sourcePath, const std::string& nameInCab);
    void RaiseError(int errId, int apiCode, const std::string& text, int& action);
    void RaiseLayerError(HCabContext h, int errId, int& action);
    void GiveUpSet(HCabContext h);

    std::string cabFile_;
    std::string diskName_;
    std::int32_t folderSize_ = 831415;
    std::int32_t diskSize_ = 2147483647;
    std::int32_t reserved_ = 0;
    TCompressionType compType_ = ctMsZip;
    std::int32_t compFactor_ = 3;
    TStringList addFiles_;
    TStringList recurseFiles_;
    bool storePath_ = false;
    bool partialPath_ = false;

    // State of a build.
    bool abort_ = false;
    std::int32_t fileTotal_ = 0;
    std::int32_t filesDone_ = 0;
    int windowExponent_ = 17;
    std::string failedCabinet_;
    std::mt19937 random_;
};

// The relays handed to the layer: they forward to the current component.
void vFwProgressRelay(const std::string& fileName, int percent, bool& abort);
void vFwNextCabinetRelay(std::string& cabName, std::string& diskName, int cabNo, int& diskNo,
                         bool& abort);
