// Ready callbacks for the FCI calls over ordinary files, for programs that
// drive the engine themselves. A FileIo is the pv value of the context: its own
// callbacks use it, and the program's callbacks (next cabinet, status, file
// placed) reach the program's data through UserOf(pv).
//
// Temporary files vanish with their handles, even when the process is killed.
// Every cabinet created is recorded with its identity, so that a failed build
// can take back exactly the files it wrote.
#pragma once

#include "fci.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cab {

class FileIo {
  public:
    explicit FileIo(void* user = nullptr) : user_(user) {}
    FileIo(const FileIo&) = delete;
    FileIo& operator=(const FileIo&) = delete;

    // The user pointer of the FileIo a callback got as pv.
    static void* UserOf(void* pv) { return pv ? static_cast<FileIo*>(pv)->user_ : nullptr; }
    void* User() const { return user_; }

    // An existing file of a cabinet's name is replaced; by default the cabinet
    // is refused then (FCIERR_CAB_FILE with the system's "file exists").
    void SetReplaceCabinets(bool replace) { replace_ = replace; }

    // FCICreate with this set's callbacks, the C heap and this object as pv.
    // The FileIo must outlive the context.
    HFCI Create(PERF erf, PCCAB ccab, PFNFCIFILEPLACED placed = nullptr);

    // The open-info callback for FCIAddFile: only regular files are opened
    // (a pipe would wait for a writer, a device has no size), and their date,
    // time and DOS attributes are given.
    static INT_PTR OpenInfo(char* pszName, USHORT* pdate, USHORT* ptime, USHORT* pattribs, int* err,
                            void* pv);

    // The cabinets created so far and not taken back by the engine, in order.
    std::vector<std::string> Cabinets() const;
    // The cabinet the engine last set out to create.
    const std::string& LastCabinet() const { return lastCabinet_; }
    // Deletes every cabinet created here that is still the very file written
    // (same identity and size); returns the names of those left in place.
    std::vector<std::string> RemoveWritten();

    // The callbacks themselves, for FCICreate.
    static INT_PTR Open(char* pszFile, int oflag, int pmode, int* err, void* pv);
    static UINT Read(INT_PTR hf, void* memory, UINT cb, int* err, void* pv);
    static UINT Write(INT_PTR hf, void* memory, UINT cb, int* err, void* pv);
    static int Close(INT_PTR hf, int* err, void* pv);
    static long Seek(INT_PTR hf, long dist, int seektype, int* err, void* pv);
    static int Delete(char* pszFile, int* err, void* pv);
    static BOOL TempFile(char* pszTempName, int cbTempName, void* pv);
    static void* Alloc(ULONG cb);
    static void Free(void* memory);

  private:
    struct Written {
        std::string path;
        std::uint64_t volume = 0, index = 0;
        std::intptr_t open = -1;
        std::int64_t size = -1;
    };
    bool IsTempName(const std::string& name) const;

    void* user_;
    bool replace_ = false;
    std::vector<std::string> tempNames_;
    std::vector<Written> written_;
    std::string lastCabinet_;
};

// The engine's text for an error code of ERF::erfOper.
const char* ErrorText(int erfOper);

} // namespace cab
