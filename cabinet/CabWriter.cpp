#include "CabWriter.h"

#include "CodecRegistry.h"

#include <algorithm>
#include <cstring>

namespace cab {

namespace {

Failure Fail(int code, int sysError = 0, bool recoverable = true) {
    return Failure{code, sysError, recoverable};
}

std::size_t BoundedLength(const char* s, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && s[n])
        ++n;
    return n;
}

// A text field of the CCAB is usable when it ends within its 256 bytes.
bool FieldTerminated(const char* field, std::size_t size) {
    return BoundedLength(field, size) < size;
}

constexpr std::uint32_t CopyChunk = 65536;
// A cabinet's folder and name, or a temporary file's name, with its NUL.
constexpr std::size_t PathBufferSize = CB_MAX_CAB_PATH + CB_MAX_CABINET_NAME;
constexpr int CreateFlags = FCI_O_RDWR | FCI_O_CREAT | FCI_O_EXCL | FCI_O_BINARY;
constexpr int CreateMode = FCI_S_IREAD | FCI_S_IWRITE;

} // namespace

std::uint32_t CabWriter::FileRec::RecordSize() const {
    return FileRecordSize + static_cast<std::uint32_t>(name.size()) + 1;
}

CabWriter::CabWriter(const HeapCallbacks* heap, const IoCallbacks& io, const CCAB& ccab)
    : heap_(heap), io_(io), ccab_(ccab), cb_(std::min<std::uint32_t>(ccab.cb, MaxCabinetSize)),
      tempName_(CallbackAlloc<char>(heap)), frags_(CallbackAlloc<Fragment>(heap)),
      entries_(CallbackAlloc<Entry>(heap)), prevCab_(CallbackAlloc<char>(heap)),
      prevDisk_(CallbackAlloc<char>(heap)), next_(ccab), files_(CallbackAlloc<FileRec>(heap)),
      buffer_(CallbackAlloc<std::uint8_t>(heap)), scratch_(CallbackAlloc<std::uint8_t>(heap)) {}

CabWriter::~CabWriter() = default;

// ---- the calls ----------------------------------------------------------------

void CabWriter::Open() {
    if (ccab_.cbReserveCFHeader > MaxHeaderReserve || ccab_.cbReserveCFFolder > MaxRecordReserve ||
        ccab_.cbReserveCFData > MaxRecordReserve)
        throw Fail(FCIERR_CAB_FILE);
    if (!FieldTerminated(ccab_.szCab, sizeof ccab_.szCab) || ccab_.szCab[0] == 0 ||
        !FieldTerminated(ccab_.szDisk, sizeof ccab_.szDisk) ||
        !FieldTerminated(ccab_.szCabPath, sizeof ccab_.szCabPath))
        throw Fail(FCIERR_CAB_FILE);
    buffer_.resize(BlockSize);

    char name[CB_MAX_CAB_PATH] = {};
    BOOL made = FALSE;
    try {
        made = io_.tempFile ? io_.tempFile(name, sizeof name, io_.pv) : FALSE;
    } catch (...) {
        made = FALSE;
    }
    if (!made || !FieldTerminated(name, sizeof name) || name[0] == 0) throw Fail(FCIERR_TEMP_FILE);
    tempName_ = name;
    temp_ = OpenFile(tempName_.c_str(), FCIERR_TEMP_FILE);
    tempPos_ = 0;
}

void CabWriter::AddFile(const char* source, const char* name, bool execute,
                        PFNFCIGETNEXTCABINET next, PFNFCISTATUS status, PFNFCIGETOPENINFO openInfo,
                        TCOMP type) {
    CheckUsable();
    BeginCall(next, status);
    // Quantum without level and window fields is written as level 7, window 2^21.
    if (type == tcompTYPE_QUANTUM) type = static_cast<TCOMP>(tcompTYPE_QUANTUM | 7 << 4 | 21 << 8);
    std::size_t nameLength = name ? BoundedLength(name, MaxNameLength + 1) : 0;
    if (nameLength == 0 || nameLength > MaxNameLength) throw Fail(FCIERR_OPEN_SRC);
    CodecFor(type);
    if (!source || !openInfo) throw Fail(FCIERR_OPEN_SRC);

    HeapString path(source, CallbackAlloc<char>(heap_));
    USHORT date = 0, time = 0, attribs = 0;
    int err = 0;
    INT_PTR h = -1;
    try {
        h = openInfo(path.data(), &date, &time, &attribs, &err, io_.pv);
    } catch (...) {
        h = -1;
    }
    if (h == -1) throw Fail(FCIERR_OPEN_SRC, err);

    struct SourceCloser {
        CabWriter* w;
        INT_PTR h;
        ~SourceCloser() {
            if (h != -1) w->CloseQuietly(h);
        }
    } closer{this, h};

    long size = -1;
    err = 0;
    try {
        size = io_.seek(h, 0, FCI_SEEK_END, &err, io_.pv);
    } catch (...) {
        size = -1;
    }
    if (size < 0) throw Fail(FCIERR_READ_SRC, err);
    Seek(h, 0, FCIERR_READ_SRC);
    // A file must fit into one folder.
    if (static_cast<unsigned long>(size) > MaxFolderBytes) throw Fail(FCIERR_OPEN_SRC);
    auto fileSize = static_cast<std::uint32_t>(size);

    attribs &= AttrStorable;
    if (execute) attribs |= AttrExecute;
    if (IsUtf8WithHighBytes(std::string_view(name, nameLength))) attribs |= AttrNameIsUtf8;

    FileRec rec{
        HeapString(name, nameLength, CallbackAlloc<char>(heap_)), fileSize, 0, date, time, attribs};
    PrepareFolder(type, rec.RecordSize(), fileSize);
    rec.offset = folderBytes_;
    pendingRecordBytes_ += rec.RecordSize();
    files_.push_back(std::move(rec));

    try {
        ReadSource(h, fileSize);
    } catch (Failure& f) {
        if (f.recoverable && !DropLastFile()) f.recoverable = false;
        throw;
    }
    closer.h = -1;
    CloseQuietly(h);

    if (crossed_ || compressedOut_ >= ccab_.cbFolderThresh) CloseFolder();
    if (abortRequested_) throw Fail(FCIERR_USER_ABORT);
}

void CabWriter::FlushFolder(PFNFCIGETNEXTCABINET next, PFNFCISTATUS status) {
    CheckUsable();
    BeginCall(next, status);
    CloseFolder();
}

void CabWriter::FlushCabinet(bool getNextCab, PFNFCIGETNEXTCABINET next, PFNFCISTATUS status) {
    CheckUsable();
    BeginCall(next, status);
    CloseFolder();
    if (entries_.empty()) {
        // Nothing to list: no cabinet is written. Data of files that failed
        // half-way has no file to belong to and is dropped with it, unless an
        // earlier cabinet already links to this one.
        if (frags_.empty()) return;
        if (hasPrev_) throw Fail(FCIERR_CAB_FILE);
        ResetCabinet();
        return;
    }
    EndCabinet(getNextCab, false);
}

bool CabWriter::Close() {
    if (temp_ == -1) return true;
    int err = 0;
    int closed = -1, deleted = -1;
    try {
        closed = io_.close(temp_, &err, io_.pv);
    } catch (...) {
        closed = -1;
    }
    temp_ = -1;
    try {
        deleted = io_.remove(tempName_.data(), &err, io_.pv);
    } catch (...) {
        deleted = -1;
    }
    return closed != -1 && deleted != -1;
}

void CabWriter::MarkBroken(const Failure& f) {
    broken_ = true;
    brokenBy_ = f;
    brokenBy_.recoverable = false;
}

void CabWriter::CheckUsable() const {
    if (broken_) throw brokenBy_;
    if (temp_ == -1) throw Fail(FCIERR_TEMP_FILE, 0, false);
}

void CabWriter::BeginCall(PFNFCIGETNEXTCABINET next, PFNFCISTATUS status) {
    nextCab_ = next;
    status_ = status;
    abortRequested_ = false;
}

Codec* CabWriter::CodecFor(TCOMP type) {
    for (auto& [t, c] : codecs_)
        if (t == type) return c.get();
    std::unique_ptr<Codec> c = factory_ ? factory_(type) : nullptr;
    if (!c) c = MakeCodec(type);
    if (!c) throw Fail(FCIERR_BAD_COMPR_TYPE);
    codecs_.emplace_back(type, std::move(c));
    return codecs_.back().second.get();
}

// ---- folders --------------------------------------------------------------------

std::uint32_t CabWriter::MaxPayload(TCOMP type) const {
    const CodecEntry* entry = FindCodec(type);
    return entry ? entry->maxPayload : MaxBlockPayload;
}

// The format allows 65535 data block records per folder over all cabinets, cut
// pieces included: estimate the worst case for the folder grown by size bytes.
bool CabWriter::FolderCanGrowBy(TCOMP type, std::uint64_t folderBytes, std::uint32_t size) const {
    std::uint64_t total = folderBytes + size;
    if (total > MaxFolderBytes) return false;
    std::uint64_t blocks = (total + BlockSize - 1) / BlockSize;
    std::uint64_t worst = blocks * (DataHeaderBytes() + MaxPayload(type));
    std::uint64_t cuts = worst / static_cast<std::uint64_t>(DataPerCabinet()) + 1;
    return blocks + cuts <= MaxCount;
}

// The bytes of data blocks that one cabinet of the set can hold once its
// header and a folder record are written. The names of the neighbouring
// cabinets are not known yet: this cabinet's own names stand in for them, with
// room for a few more digits of a growing number. A cabinet size that leaves
// no room at all is too small for any set.
std::int64_t CabWriter::DataPerCabinet() const {
    constexpr std::int64_t NumberGrowth = 4;
    const std::int64_t ownNames =
        static_cast<std::int64_t>(std::strlen(ccab_.szCab) + std::strlen(ccab_.szDisk)) + 2;
    const std::int64_t prevNames =
        hasPrev_ ? static_cast<std::int64_t>(prevCab_.size() + prevDisk_.size()) + 2 : ownNames;
    const std::int64_t nextNames =
        nextKnown_
            ? static_cast<std::int64_t>(std::strlen(next_.szCab) + std::strlen(next_.szDisk)) + 2
            : ownNames + 2 * NumberGrowth;
    const std::int64_t header = HeaderFixedSize + (ReservePresent() ? HeaderReserveFields : 0) +
                                ccab_.cbReserveCFHeader + prevNames + nextNames;
    const std::int64_t room = static_cast<std::int64_t>(cb_) - header - FolderRecordBytes();
    if (room < 1) throw Fail(FCIERR_CAB_FILE); // the cabinet size is too small
    return room;
}

// Whether one more file can start in the open folder with room kept for a
// piece of the block it begins in. Blocks still held by the codec must fit
// whole: a file may not begin after the block where the cabinet ends.
bool CabWriter::FitsInOpenFolder(std::uint32_t recordSize) const {
    std::int64_t held = static_cast<std::int64_t>(blocksPut_) - blocksTaken_;
    std::int64_t need = (fragIndex_ < 0 ? FolderRecordBytes() : 0) +
                        static_cast<std::int64_t>(pendingRecordBytes_) + recordSize +
                        DataHeaderBytes() + 1 +
                        held * (DataHeaderBytes() + MaxPayload(folderType_));
    return need <= Room();
}

void CabWriter::PrepareFolder(TCOMP type, std::uint32_t recordSize, std::uint32_t size) {
    if (folderOpen_) {
        bool tooManyRecords = entries_.size() + (files_.size() - firstOpen_) + 1 > MaxCount;
        if (folderType_ != type || closeBeforeNext_ || crossed_ ||
            compressedOut_ >= ccab_.cbFolderThresh || tooManyRecords ||
            !FolderCanGrowBy(type, folderBytes_, size) || !FitsInOpenFolder(recordSize))
            CloseFolder();
    }
    if (!folderOpen_) StartFolder(type, recordSize, size);
}

void CabWriter::StartFolder(TCOMP type, std::uint32_t recordSize, std::uint32_t size) {
    if (frags_.size() + 1 > MaxCount || entries_.size() + 1 > MaxCount) throw Fail(FCIERR_CAB_FILE);
    const std::int64_t need = FolderRecordBytes() + recordSize + DataHeaderBytes() + 1;
    if (Room() < need && entries_.empty()) throw Fail(FCIERR_CAB_FILE); // cabinet too small
    // The whole file in one folder must stay within the format's block count.
    if (!FolderCanGrowBy(type, 0, size)) throw Fail(FCIERR_OPEN_SRC);
    if (Room() < need) {
        // The folder starts in the next cabinet of the set.
        EndCabinet(true, false);
        if (Room() < need) throw Fail(FCIERR_CAB_FILE);
    }
    Codec* codec = CodecFor(type);
    codec->BeginFolder();
    codec_ = codec;
    folderType_ = type;
    folderOpen_ = true;
    ++folderSerial_;
    files_.clear();
    firstOpen_ = 0;
    folderBytes_ = 0;
    buffered_ = 0;
    nextBlockStart_ = 0;
    blocksPut_ = blocksTaken_ = 0;
    compressedOut_ = 0;
    pieces_ = 0;
    crossed_ = ended_ = closeBeforeNext_ = false;
    pendingRecordBytes_ = 0;
    fragIndex_ = -1;
}

void CabWriter::CloseFolder() {
    if (!folderOpen_) return;
    try {
        ended_ = true;
        if (buffered_ > 0) PutBuffer();
        if (!codec_->EndFolder()) throw Fail(FCIERR_MCI_FAIL);
        Pump();
        if (blocksTaken_ != blocksPut_ || nextBlockStart_ != folderBytes_)
            throw Fail(FCIERR_MCI_FAIL);
        // Files that no block listed: empty files at the very end of the folder.
        for (std::size_t i = firstOpen_; i < files_.size(); ++i) {
            if (files_[i].listedCab == cabSeq_) continue;
            EnsureFragment();
            ListFile(files_[i]);
        }
    } catch (Failure& f) {
        f.recoverable = false;
        throw;
    }
    folderOpen_ = false;
    files_.clear();
    firstOpen_ = 0;
    pendingRecordBytes_ = 0;
    fragIndex_ = -1;
    codec_ = nullptr;
    if (abortRequested_) throw Fail(FCIERR_USER_ABORT);
}

void CabWriter::ReadSource(INT_PTR source, std::uint32_t size) {
    std::uint32_t remaining = size;
    while (remaining > 0) {
        std::uint32_t want = std::min<std::uint32_t>(BlockSize - buffered_, remaining);
        std::uint32_t got = 0;
        while (got < want) {
            int err = 0;
            UINT n = 0;
            try {
                n = io_.read(source, buffer_.data() + buffered_ + got, want - got, &err, io_.pv);
            } catch (...) {
                n = static_cast<UINT>(-1);
            }
            if (n == 0 || n == static_cast<UINT>(-1) || n > want - got)
                throw Fail(FCIERR_READ_SRC, err);
            got += n;
        }
        buffered_ += want;
        folderBytes_ += want;
        remaining -= want;
        if (buffered_ == BlockSize) {
            PutBuffer();
            Pump();
        }
        if (abortRequested_) throw Fail(FCIERR_USER_ABORT);
    }
}

// Takes the file being added out of the folder after it failed half-way. Its
// bytes stay in the folder's stream, unnamed. False when a cabinet already
// written lists it: that cabinet cannot be taken back.
bool CabWriter::DropLastFile() {
    if (files_.empty()) return true;
    FileRec& f = files_.back();
    if (f.firstCab >= 0 && f.firstCab < cabSeq_) return false;
    if (f.listedCab == cabSeq_) {
        entryBytes_ -= f.RecordSize();
        entries_.pop_back();
    } else {
        pendingRecordBytes_ -= f.RecordSize();
    }
    files_.pop_back();
    firstOpen_ = std::min(firstOpen_, files_.size());
    closeBeforeNext_ = true;
    return true;
}

// ---- blocks -----------------------------------------------------------------------

void CabWriter::PutBuffer() {
    if (!codec_->Put(buffer_.data(), buffered_)) throw Fail(FCIERR_MCI_FAIL, 0, false);
    ++blocksPut_;
    buffered_ = 0;
}

void CabWriter::Pump() {
    CompressedBlock block;
    while (codec_->Take(block))
        PlaceBlock(block);
}

bool CabWriter::Overlaps(const FileRec& f, std::uint32_t start, std::uint32_t end,
                         bool last) const {
    if (f.size > 0) return f.offset < end && f.End() > start;
    // An empty file belongs to the block its offset falls in, or to the
    // folder's last block when it sits at the very end.
    return f.offset >= start && (f.offset < end || (last && f.offset == end));
}

std::uint64_t CabWriter::UnlistedRecordBytes(std::uint32_t start, std::uint32_t end,
                                             bool last) const {
    std::uint64_t bytes = 0;
    for (std::size_t i = firstOpen_; i < files_.size() && Overlaps(files_[i], start, end, last);
         ++i)
        if (files_[i].listedCab != cabSeq_) bytes += files_[i].RecordSize();
    return bytes;
}

void CabWriter::ListOverlapping(std::uint32_t start, std::uint32_t end, bool last) {
    for (std::size_t i = firstOpen_; i < files_.size() && Overlaps(files_[i], start, end, last);
         ++i)
        if (files_[i].listedCab != cabSeq_) ListFile(files_[i]);
}

void CabWriter::ListFile(FileRec& f) {
    entries_.push_back(Entry{HeapString(f.name, CallbackAlloc<char>(heap_)), f.size, f.offset,
                             f.date, f.time, f.attribs, static_cast<std::uint32_t>(fragIndex_),
                             folderSerial_, f.firstCab >= 0 && f.firstCab < cabSeq_});
    if (f.firstCab < 0) f.firstCab = cabSeq_;
    f.listedCab = cabSeq_;
    entryBytes_ += f.RecordSize();
    pendingRecordBytes_ -= f.RecordSize();
}

void CabWriter::EnsureFragment() {
    if (fragIndex_ >= 0) return;
    frags_.push_back(Fragment{folderType_, cabData_, 0, 0});
    fragIndex_ = static_cast<std::int32_t>(frags_.size() - 1);
}

void CabWriter::PlaceBlock(const CompressedBlock& block) {
    const auto size = static_cast<std::uint32_t>(block.data.size());
    const std::uint32_t usize = block.uncompressedSize;
    const std::uint32_t start = nextBlockStart_;
    const std::uint64_t end64 = static_cast<std::uint64_t>(start) + usize;
    const bool last = ended_ && end64 == folderBytes_;
    // Every block but a folder's last holds exactly 32 KiB.
    if (usize == 0 || usize > BlockSize || (!last && usize != BlockSize) || end64 > folderBytes_ ||
        size == 0 || size > MaxBlockPayload || (folderType_ == tcompTYPE_NONE && size != usize) ||
        blocksTaken_ >= blocksPut_)
        throw Fail(FCIERR_MCI_FAIL, 0, false);
    if (ccab_.fFailOnIncompressible && folderType_ != tcompTYPE_NONE && size >= usize)
        throw Fail(FCIERR_MCI_FAIL, 0, false);
    const auto end = static_cast<std::uint32_t>(end64);
    const std::int64_t header = DataHeaderBytes();

    try {
        std::uint32_t done = 0;
        for (;;) {
            const auto owed = static_cast<std::int64_t>(UnlistedRecordBytes(start, end, last));
            const std::int64_t charges = owed + (fragIndex_ < 0 ? FolderRecordBytes() : 0);
            const std::uint32_t rest = size - done;
            const std::int64_t keep =
                last ? 0 : header + 1 + static_cast<std::int64_t>(pendingRecordBytes_) - owed;
            if (charges + header + rest + keep <= Room()) {
                WritePiece(block, done, rest, static_cast<std::uint16_t>(usize), start, end, last);
                break;
            }
            // The cabinet ends inside this block: its first piece fills the
            // cabinet, the rest opens the next one.
            LearnNextCabinet();
            const std::int64_t avail = Room() - charges - header;
            if (avail < 1 || rest < 2) throw Fail(FCIERR_CAB_FILE);
            const auto piece = static_cast<std::uint32_t>(std::min<std::int64_t>(avail, rest - 1));
            WritePiece(block, done, piece, 0, start, end, last);
            done += piece;
            crossed_ = true;
            EndCabinet(true, true);
        }
    } catch (Failure& f) {
        f.recoverable = false;
        throw;
    }

    nextBlockStart_ = end;
    ++blocksTaken_;
    compressedOut_ += size;
    while (firstOpen_ < files_.size()) {
        const FileRec& f = files_[firstOpen_];
        bool complete = f.size > 0 ? f.End() <= end : (f.offset < end || (last && f.offset == end));
        if (!complete) break;
        ++firstOpen_;
    }
    if (!abortRequested_ && Status(statusFile, size, usize) == -1) abortRequested_ = true;
}

void CabWriter::WritePiece(const CompressedBlock& block, std::uint32_t from, std::uint32_t length,
                           std::uint16_t cbUncomp, std::uint32_t start, std::uint32_t end,
                           bool last) {
    EnsureFragment();
    ListOverlapping(start, end, last);
    const std::uint32_t header = DataHeaderBytes();
    scratch_.assign(header + length, 0);
    const std::uint8_t* payload = block.data.data() + from;
    const auto cbData = static_cast<std::uint16_t>(length);
    Put32(scratch_.data(), DataBlockChecksum(payload, cbData, cbUncomp));
    Put16(scratch_.data() + 4, cbData);
    Put16(scratch_.data() + 6, cbUncomp);
    std::memcpy(scratch_.data() + header, payload, length);
    TempWriteAt(cabData_, scratch_.data(), header + length);
    cabData_ += header + length;
    Fragment& frag = frags_[static_cast<std::size_t>(fragIndex_)];
    frag.dataSize += header + length;
    ++frag.blocks;
    ++pieces_;
    if (frag.blocks > MaxCount || pieces_ > MaxCount) throw Fail(FCIERR_CAB_FILE);
}

// ---- cabinets -----------------------------------------------------------------------

bool CabWriter::ReservePresent() const {
    return ccab_.cbReserveCFHeader != 0 || ccab_.cbReserveCFFolder != 0 ||
           ccab_.cbReserveCFData != 0;
}

std::uint32_t CabWriter::HeaderSize() const {
    std::uint32_t n = HeaderFixedSize;
    if (ReservePresent()) n += HeaderReserveFields + ccab_.cbReserveCFHeader;
    if (hasPrev_) n += static_cast<std::uint32_t>(prevCab_.size() + 1 + prevDisk_.size() + 1);
    // Until the next cabinet is named, room is kept for the longest names.
    if (nextKnown_)
        n += static_cast<std::uint32_t>(std::strlen(next_.szCab) + 1 + std::strlen(next_.szDisk) +
                                        1);
    else
        n += CB_MAX_CABINET_NAME + CB_MAX_DISK_NAME;
    return n;
}

std::int64_t CabWriter::Room() const {
    std::int64_t used = static_cast<std::int64_t>(HeaderSize()) +
                        static_cast<std::int64_t>(frags_.size()) * FolderRecordBytes() +
                        static_cast<std::int64_t>(entryBytes_) + cabData_;
    return static_cast<std::int64_t>(cb_) - used;
}

void CabWriter::LearnNextCabinet() {
    if (nextKnown_) return;
    CCAB next = ccab_;
    ++next.iCab;
    const auto estimate = static_cast<ULONG>(static_cast<std::int64_t>(cb_) - Room());
    BOOL ok = FALSE;
    if (!nextCab_) throw Fail(FCIERR_CAB_FILE);
    try {
        ok = nextCab_(&next, estimate, io_.pv);
    } catch (...) {
        ok = FALSE;
    }
    if (!ok) throw Fail(FCIERR_USER_ABORT);
    if (!FieldTerminated(next.szCab, sizeof next.szCab) || next.szCab[0] == 0 ||
        !FieldTerminated(next.szDisk, sizeof next.szDisk) ||
        !FieldTerminated(next.szCabPath, sizeof next.szCabPath))
        throw Fail(FCIERR_CAB_FILE);
    // The callback names the cabinet and its disk; the sizes and the set stay.
    next_ = ccab_;
    std::memcpy(next_.szCab, next.szCab, sizeof next_.szCab);
    std::memcpy(next_.szDisk, next.szDisk, sizeof next_.szDisk);
    std::memcpy(next_.szCabPath, next.szCabPath, sizeof next_.szCabPath);
    next_.iCab = ccab_.iCab + 1;
    next_.iDisk = next.iDisk;
    nextKnown_ = true;
}

void CabWriter::EndCabinet(bool linked, bool folderContinues) {
    if (entries_.empty()) throw Fail(FCIERR_CAB_FILE); // a cabinet must list a file
    if (linked) LearnNextCabinet();
    const std::int64_t estimate = static_cast<std::int64_t>(cb_) - Room();
    const std::uint32_t actual = WriteCabinet(linked, folderContinues);

    // The cabinet is on disk: report it and its files, then move on.
    bool aborted = Status(statusCabinet, static_cast<ULONG>(estimate), actual) == -1;
    for (const Entry& e : entries_) {
        if (aborted || !io_.filePlaced) break;
        char name[CB_MAX_CABINET_NAME] = {};
        std::memcpy(name, e.name.data(), e.name.size());
        int r = -1;
        try {
            r = io_.filePlaced(&ccab_, name, static_cast<long>(e.size),
                               e.continuedFromPrev ? TRUE : FALSE, io_.pv);
        } catch (...) {
            r = -1;
        }
        aborted = r == -1;
    }
    if (linked)
        StartNextCabinet();
    else
        ResetCabinet();
    if (aborted) throw Fail(FCIERR_USER_ABORT);
}

void CabWriter::BuildDirectory(HeapVector<std::uint8_t>& out, bool linked, bool folderContinues,
                               std::uint32_t& dataStart) const {
    const bool reserve = ReservePresent();
    auto append16 = [&out](std::uint32_t v) {
        std::uint8_t b[2];
        Put16(b, v);
        out.insert(out.end(), b, b + 2);
    };
    auto append32 = [&out](std::uint32_t v) {
        std::uint8_t b[4];
        Put32(b, v);
        out.insert(out.end(), b, b + 4);
    };
    auto appendText = [&out](const char* s, std::size_t n) {
        out.insert(out.end(), s, s + n);
        out.push_back(0);
    };

    std::uint32_t header =
        HeaderFixedSize + (reserve ? HeaderReserveFields + ccab_.cbReserveCFHeader : 0);
    if (hasPrev_) header += static_cast<std::uint32_t>(prevCab_.size() + prevDisk_.size() + 2);
    if (linked)
        header +=
            static_cast<std::uint32_t>(std::strlen(next_.szCab) + std::strlen(next_.szDisk) + 2);
    const std::uint32_t filesAt =
        header + static_cast<std::uint32_t>(frags_.size()) * FolderRecordBytes();
    dataStart = filesAt + static_cast<std::uint32_t>(entryBytes_);
    const std::uint32_t total = dataStart + cabData_;

    std::uint16_t flags = (hasPrev_ ? FlagPrevCabinet : 0) | (linked ? FlagNextCabinet : 0) |
                          (reserve ? FlagReservePresent : 0);
    out.clear();
    out.reserve(dataStart);
    out.insert(out.end(), {'M', 'S', 'C', 'F'});
    append32(0);
    append32(total);
    append32(0);
    append32(filesAt);
    append32(0);
    out.push_back(3); // version 1.3
    out.push_back(1);
    append16(static_cast<std::uint32_t>(frags_.size()));
    append16(static_cast<std::uint32_t>(entries_.size()));
    append16(flags);
    append16(ccab_.setID);
    append16(setIndex_);
    if (reserve) {
        append16(ccab_.cbReserveCFHeader);
        out.push_back(static_cast<std::uint8_t>(ccab_.cbReserveCFFolder));
        out.push_back(static_cast<std::uint8_t>(ccab_.cbReserveCFData));
        out.insert(out.end(), ccab_.cbReserveCFHeader, 0);
    }
    if (hasPrev_) {
        appendText(prevCab_.data(), prevCab_.size());
        appendText(prevDisk_.data(), prevDisk_.size());
    }
    if (linked) {
        appendText(next_.szCab, std::strlen(next_.szCab));
        appendText(next_.szDisk, std::strlen(next_.szDisk));
    }
    for (const Fragment& f : frags_) {
        append32(dataStart + f.dataOffset);
        append16(f.blocks);
        append16(f.type);
        out.insert(out.end(), ccab_.cbReserveCFFolder, 0);
    }
    const std::uint32_t lastFragment = static_cast<std::uint32_t>(frags_.size()) - 1;
    for (const Entry& e : entries_) {
        // Does the file reach into the block cut at the end of this cabinet?
        bool toNext =
            folderContinues && e.folderSerial == folderSerial_ && e.fragment == lastFragment &&
            (e.size > 0 ? e.offset + e.size > nextBlockStart_ : e.offset >= nextBlockStart_);
        std::uint16_t index = static_cast<std::uint16_t>(e.fragment);
        if (e.continuedFromPrev && toNext)
            index = FolderContinuedPrevAndNext;
        else if (e.continuedFromPrev)
            index = FolderContinuedFromPrev;
        else if (toNext)
            index = FolderContinuedToNext;
        append32(e.size);
        append32(e.offset);
        append16(index);
        append16(e.date);
        append16(e.time);
        append16(e.attribs);
        appendText(e.name.data(), e.name.size());
    }
}

std::uint32_t CabWriter::WriteCabinet(bool linked, bool folderContinues) {
    HeapVector<std::uint8_t> directory{CallbackAlloc<std::uint8_t>(heap_)};
    std::uint32_t dataStart = 0;
    BuildDirectory(directory, linked, folderContinues, dataStart);
    if (static_cast<std::uint64_t>(dataStart) + cabData_ > cb_ || directory.size() != dataStart)
        throw Fail(FCIERR_CAB_FILE, 0, false); // never: room was kept for all of it

    HeapString path(ccab_.szCabPath, CallbackAlloc<char>(heap_));
    path += ccab_.szCab;
    INT_PTR h = OpenFile(path.c_str(), FCIERR_CAB_FILE);
    try {
        WriteAll(h, directory.data(), dataStart, FCIERR_CAB_FILE);
        HeapVector<std::uint8_t> chunk(std::min(CopyChunk, std::max<std::uint32_t>(cabData_, 1)), 0,
                                       CallbackAlloc<std::uint8_t>(heap_));
        for (const Fragment& f : frags_) {
            std::uint32_t copied = 0;
            while (copied < f.dataSize) {
                auto n = std::min<std::uint32_t>(static_cast<std::uint32_t>(chunk.size()),
                                                 f.dataSize - copied);
                TempReadAt(f.dataOffset + copied, chunk.data(), n);
                WriteAll(h, chunk.data(), n, FCIERR_CAB_FILE);
                copied += n;
                if (Status(statusFolder, copied, f.dataSize) == -1) throw Fail(FCIERR_USER_ABORT);
            }
        }
        int err = 0, r = -1;
        INT_PTR closing = h;
        h = -1;
        try {
            r = io_.close(closing, &err, io_.pv);
        } catch (...) {
            r = -1;
        }
        if (r == -1) throw Fail(FCIERR_CAB_FILE, err);
    } catch (...) {
        if (h != -1) CloseQuietly(h);
        DeleteQuietly(path.c_str());
        throw;
    }
    return dataStart + cabData_;
}

// Empties the cabinet in progress for the next one.
void CabWriter::ClearCabinet() {
    frags_.clear();
    entries_.clear();
    entryBytes_ = 0;
    cabData_ = 0;
    fragIndex_ = -1;
    nextKnown_ = false;
    ++cabSeq_;
}

void CabWriter::StartNextCabinet() {
    prevCab_ = ccab_.szCab;
    prevDisk_ = ccab_.szDisk;
    hasPrev_ = true;
    ccab_ = next_;
    ++setIndex_;
    ClearCabinet();
    if (!folderOpen_) return;
    // The open folder continues here: its files with data still to come are
    // owed records again, and a fresh cabinet must take at least one piece.
    pendingRecordBytes_ = 0;
    for (std::size_t i = firstOpen_; i < files_.size(); ++i)
        pendingRecordBytes_ += files_[i].RecordSize();
    std::int64_t need = FolderRecordBytes() + static_cast<std::int64_t>(pendingRecordBytes_) +
                        DataHeaderBytes() + 1;
    if (Room() < need) throw Fail(FCIERR_CAB_FILE, 0, false);
}

// The next cabinet begins a new set (after a flush without a link).
void CabWriter::ResetCabinet() {
    hasPrev_ = false;
    prevCab_.clear();
    prevDisk_.clear();
    setIndex_ = 0;
    ClearCabinet();
}

// ---- callbacks ----------------------------------------------------------------------

INT_PTR CabWriter::OpenFile(const char* path, int code) {
    char name[PathBufferSize] = {};
    std::strncpy(name, path, sizeof name - 1);
    int err = 0;
    INT_PTR h = -1;
    try {
        h = io_.open(name, CreateFlags, CreateMode, &err, io_.pv);
    } catch (...) {
        h = -1;
    }
    if (h == -1) throw Fail(code, err);
    return h;
}

void CabWriter::WriteAll(INT_PTR h, const void* data, std::uint32_t size, int code) {
    int err = 0;
    UINT n = 0;
    try {
        n = io_.write(h, const_cast<void*>(data), size, &err, io_.pv);
    } catch (...) {
        n = static_cast<UINT>(-1);
    }
    if (n != size) throw Fail(code, err);
}

void CabWriter::ReadAll(INT_PTR h, void* data, std::uint32_t size, int code) {
    auto* p = static_cast<std::uint8_t*>(data);
    std::uint32_t got = 0;
    while (got < size) {
        int err = 0;
        UINT n = 0;
        try {
            n = io_.read(h, p + got, size - got, &err, io_.pv);
        } catch (...) {
            n = static_cast<UINT>(-1);
        }
        if (n == 0 || n == static_cast<UINT>(-1) || n > size - got) throw Fail(code, err);
        got += n;
    }
}

void CabWriter::Seek(INT_PTR h, long pos, int code) {
    int err = 0;
    long r = -1;
    try {
        r = io_.seek(h, pos, FCI_SEEK_SET, &err, io_.pv);
    } catch (...) {
        r = -1;
    }
    if (r != pos) throw Fail(code, err);
}

void CabWriter::CloseQuietly(INT_PTR h) {
    int err = 0;
    try {
        io_.close(h, &err, io_.pv);
    } catch (...) {
    }
}

void CabWriter::DeleteQuietly(const char* path) {
    // No allocation here: this runs while a failure is on its way out.
    char name[PathBufferSize] = {};
    std::strncpy(name, path, sizeof name - 1);
    int err = 0;
    try {
        io_.remove(name, &err, io_.pv);
    } catch (...) {
    }
}

// Positions the temporary file, skipping the seek when it is already there.
void CabWriter::TempSeek(std::uint32_t pos) {
    if (tempPos_ == pos) return;
    tempPos_ = -1;
    Seek(temp_, static_cast<long>(pos), FCIERR_TEMP_FILE);
    tempPos_ = pos;
}

void CabWriter::TempWriteAt(std::uint32_t pos, const void* data, std::uint32_t size) {
    TempSeek(pos);
    tempPos_ = -1;
    WriteAll(temp_, data, size, FCIERR_TEMP_FILE);
    tempPos_ = static_cast<std::int64_t>(pos) + size;
}

void CabWriter::TempReadAt(std::uint32_t pos, void* data, std::uint32_t size) {
    TempSeek(pos);
    tempPos_ = -1;
    ReadAll(temp_, data, size, FCIERR_TEMP_FILE);
    tempPos_ = static_cast<std::int64_t>(pos) + size;
}

long CabWriter::Status(UINT type, ULONG cb1, ULONG cb2) {
    if (!status_) return 0;
    try {
        return status_(type, cb1, cb2, io_.pv);
    } catch (...) {
        return -1;
    }
}

} // namespace cab
