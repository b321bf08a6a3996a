// The cabinet writer behind the FCI calls: folders, data blocks, cabinets and
// sets, with every byte of input and output going through the caller's
// callbacks.
//
// How a set is laid out:
// - Files are appended to the current folder's uncompressed stream, which is
//   cut into 32 KiB blocks and compressed by the folder's codec.
// - Compressed blocks are placed into the cabinet in progress as they come out
//   of the codec: the data block records go to a temporary file, the folder
//   and file records are kept in memory. A file is listed in every cabinet that
//   holds a piece of a block it overlaps.
// - When a block does not fit, it is cut: the first piece ends the cabinet
//   (cbUncomp 0), the rest opens the next one, and the folder is closed once
//   the files overlapping the cut block are complete.
// - Room is kept so that the cabinet can always take one more piece of the
//   folder: a block header, one payload byte, the records still owed to the
//   folder's unlisted files and, while names are not known yet, the longest
//   next-cabinet names. Every cabinet therefore stays within cb.
// - Whether a file fits a folder's block limit is judged with the real names
//   of the set's cabinets, so small cabinet sizes work as far as the names
//   leave room.
#pragma once

#include "CabFormat.h"
#include "CallbackAlloc.h"
#include "Codec.h"
#include "CodecRegistry.h"
#include "fci.h"

#include <memory>
#include <utility>
#include <vector>

namespace cab {

// A failure inside the writer: the FCI error code, the system error the
// failing callback gave, and whether the writer is still consistent (the
// caller may go on adding files or flush again).
struct Failure {
    int code = 0;
    int sysError = 0;
    bool recoverable = true;
};

struct IoCallbacks {
    PFNFCIFILEPLACED filePlaced = nullptr;
    PFNFCIOPEN open = nullptr;
    PFNFCIREAD read = nullptr;
    PFNFCIWRITE write = nullptr;
    PFNFCICLOSE close = nullptr;
    PFNFCISEEK seek = nullptr;
    PFNFCIDELETE remove = nullptr;
    PFNFCIGETTEMPFILE tempFile = nullptr;
    void* pv = nullptr;
};

class CabWriter {
  public:
    // heap must outlive the writer (it is a member of the context holding both).
    CabWriter(const HeapCallbacks* heap, const IoCallbacks& io, const CCAB& ccab);
    ~CabWriter();
    CabWriter(const CabWriter&) = delete;
    CabWriter& operator=(const CabWriter&) = delete;

    // Each of these throws Failure (or std::bad_alloc) when it fails.
    void Open(); // checks the parameters and makes the temporary file
    void AddFile(const char* source, const char* name, bool execute, PFNFCIGETNEXTCABINET next,
                 PFNFCISTATUS status, PFNFCIGETOPENINFO openInfo, TCOMP type);
    void FlushFolder(PFNFCIGETNEXTCABINET next, PFNFCISTATUS status);
    void FlushCabinet(bool getNextCab, PFNFCIGETNEXTCABINET next, PFNFCISTATUS status);
    // Closes and deletes the temporary file; false when that failed.
    bool Close();

    // After a failure that left the writer inconsistent every later call fails.
    void MarkBroken(const Failure& f);

    // A factory asked before the registry for each compression code not used yet.
    void SetCodecFactory(CodecFactory factory) { factory_ = factory; }

  private:
    struct FileRec {
        HeapString name;
        std::uint32_t size;
        std::uint32_t offset; // in the folder's uncompressed stream
        std::uint16_t date, time, attribs;
        std::int64_t firstCab = -1;  // cabinet where it was first listed
        std::int64_t listedCab = -1; // cabinet where it was last listed
        std::uint32_t RecordSize() const;
        std::uint32_t End() const { return offset + size; }
    };
    struct Fragment { // one folder's part of the cabinet in progress
        TCOMP type;
        std::uint32_t dataOffset; // of its first data block in the temporary file
        std::uint32_t dataSize;
        std::uint32_t blocks;
    };
    struct Entry { // one file record of the cabinet in progress
        HeapString name;
        std::uint32_t size, offset;
        std::uint16_t date, time, attribs;
        std::uint32_t fragment;
        std::uint64_t folderSerial;
        bool continuedFromPrev;
    };

    // ---- the calls' shared steps
    void CheckUsable() const;
    void BeginCall(PFNFCIGETNEXTCABINET next, PFNFCISTATUS status);
    Codec* CodecFor(TCOMP type);
    void PrepareFolder(TCOMP type, std::uint32_t recordSize, std::uint32_t size);
    bool FitsInOpenFolder(std::uint32_t recordSize) const;
    bool FolderCanGrowBy(TCOMP type, std::uint64_t folderBytes, std::uint32_t size) const;
    std::int64_t DataPerCabinet() const;
    void StartFolder(TCOMP type, std::uint32_t recordSize, std::uint32_t size);
    void CloseFolder();
    void ReadSource(INT_PTR source, std::uint32_t size);
    bool DropLastFile();

    // ---- blocks
    void PutBuffer();
    void Pump();
    void PlaceBlock(const CompressedBlock& block);
    void WritePiece(const CompressedBlock& block, std::uint32_t from, std::uint32_t length,
                    std::uint16_t cbUncomp, std::uint32_t start, std::uint32_t end, bool last);
    bool Overlaps(const FileRec& f, std::uint32_t start, std::uint32_t end, bool last) const;
    std::uint64_t UnlistedRecordBytes(std::uint32_t start, std::uint32_t end, bool last) const;
    void ListOverlapping(std::uint32_t start, std::uint32_t end, bool last);
    void ListFile(FileRec& f);
    void EnsureFragment();
    std::uint32_t MaxPayload(TCOMP type) const;

    // ---- cabinets
    std::uint32_t HeaderSize() const;
    std::int64_t Room() const;
    std::uint32_t FolderRecordBytes() const { return FolderRecordSize + ccab_.cbReserveCFFolder; }
    std::uint32_t DataHeaderBytes() const { return DataHeaderSize + ccab_.cbReserveCFData; }
    bool ReservePresent() const;
    void LearnNextCabinet();
    void EndCabinet(bool linked, bool folderContinues);
    std::uint32_t WriteCabinet(bool linked, bool folderContinues);
    void BuildDirectory(HeapVector<std::uint8_t>& out, bool linked, bool folderContinues,
                        std::uint32_t& dataStart) const;
    void ClearCabinet();
    void StartNextCabinet();
    void ResetCabinet();

    // ---- callbacks, each turning a failure into a Failure
    INT_PTR OpenFile(const char* path, int code);
    void WriteAll(INT_PTR h, const void* data, std::uint32_t size, int code);
    void ReadAll(INT_PTR h, void* data, std::uint32_t size, int code);
    void Seek(INT_PTR h, long pos, int code);
    void CloseQuietly(INT_PTR h);
    void DeleteQuietly(const char* path);
    void TempSeek(std::uint32_t pos);
    void TempWriteAt(std::uint32_t pos, const void* data, std::uint32_t size);
    void TempReadAt(std::uint32_t pos, void* data, std::uint32_t size);
    long Status(UINT type, ULONG cb1, ULONG cb2);

    const HeapCallbacks* heap_;
    IoCallbacks io_;
    CCAB ccab_;
    std::uint32_t cb_;
    PFNFCIGETNEXTCABINET nextCab_ = nullptr;
    PFNFCISTATUS status_ = nullptr;
    bool broken_ = false;
    Failure brokenBy_;

    // temporary file holding the data block records of the cabinet in progress
    HeapString tempName_;
    INT_PTR temp_ = -1;
    std::int64_t tempPos_ = -1; // -1: unknown

    // cabinet in progress
    HeapVector<Fragment> frags_;
    HeapVector<Entry> entries_;
    std::uint64_t entryBytes_ = 0;
    std::uint32_t cabData_ = 0;
    std::int64_t cabSeq_ = 0;    // counts every cabinet begun
    std::uint32_t setIndex_ = 0; // position in the set, 0-based
    bool hasPrev_ = false;
    HeapString prevCab_, prevDisk_;
    CCAB next_;
    bool nextKnown_ = false;
    std::int32_t fragIndex_ = -1; // the open folder's fragment in this cabinet

    // folder in progress
    bool folderOpen_ = false;
    std::uint64_t folderSerial_ = 0;
    TCOMP folderType_ = 0;
    Codec* codec_ = nullptr;
    HeapVector<FileRec> files_;
    std::size_t firstOpen_ = 0; // first file whose data is not all placed
    std::uint32_t folderBytes_ = 0;
    HeapVector<std::uint8_t> buffer_;  // the block being filled
    HeapVector<std::uint8_t> scratch_; // one data block record
    std::uint32_t buffered_ = 0;
    std::uint32_t nextBlockStart_ = 0; // also: end of the blocks placed completely
    std::uint32_t blocksPut_ = 0, blocksTaken_ = 0;
    std::uint64_t compressedOut_ = 0;
    std::uint32_t pieces_ = 0;
    bool crossed_ = false, ended_ = false, closeBeforeNext_ = false;
    std::uint64_t pendingRecordBytes_ = 0; // records owed to the folder's unlisted files
    bool abortRequested_ = false;

    CodecFactory factory_ = nullptr;
    std::vector<std::pair<TCOMP, std::unique_ptr<Codec>>> codecs_;
};

} // namespace cab
