// A recording double for the engine's callbacks: an in-memory file system
// (sources, temporary files, cabinets), a log of every call, and switches that
// make single callbacks fail.
#pragma once

#include "CodecRegistry.h"
#include "fci.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace cabtest {

struct FakeIo {
    FakeIo();
    ~FakeIo();
    FakeIo(const FakeIo&) = delete;
    FakeIo& operator=(const FakeIo&) = delete;

    struct Source {
        std::string data;
        USHORT date = 0x5022, time = 0x1883, attribs = 0x20; // 2020-01-02 03:04:06
        long reportedSize = -1; // what a seek to the end answers; -1: the real size
    };
    struct StatusCall {
        UINT type;
        ULONG cb1, cb2;
    };
    struct NextCall {
        int iCab, iDisk;
        std::string previousName;
    };
    struct OpenCall {
        std::string name;
        int flags;
    };

    // ---- the in-memory file system
    std::map<std::string, std::shared_ptr<std::string>> files;
    std::map<std::string, Source> sources;
    void AddSource(const std::string& name, const std::string& data);
    std::vector<std::string> Cabinets() const; // names ending in ".cab", in order
    void WriteCabinets(const std::string& folder) const;
    int openHandles = 0;

    // ---- records
    std::vector<OpenCall> opens;
    std::vector<std::string> deleted, tempNames, openInfos, placed;
    std::vector<StatusCall> statuses;
    std::vector<NextCall> nextCalls;
    long allocs = 0, frees = 0;
    std::uint64_t bytesRead = 0;

    // ---- failures on demand
    long failAllocAfter = -1;        // allocations beyond this many fail
    bool failTempName = false;       // the temporary-file callback answers FALSE
    bool failCreate = false;         // every open with creation fails
    std::string failOpenInfoOf;      // opening this source fails
    std::string failReadOf;          // reading this source fails ...
    std::uint64_t failReadAfter = 0; // ... once this many of its bytes were read
    int abortStatusType = -1;        // status of this type answers -1 ...
    int abortStatusAfter = 0;        // ... after this many calls of that type
    bool throwInStatus = false;
    int refuseNextAt = -1; // the next-cabinet callback answers FALSE on this call (0-based)
    std::function<void(CCAB&)> onNext; // names the next cabinet; default cabN.cab on diskN

    // ---- driving the engine
    ERF erf{};
    CCAB MakeCcab(ULONG cb = 0x7FFFFFFF, ULONG threshold = 0x7FFFFFFF) const;
    // Contexts made by Create ask this factory before the engine's registry.
    cab::CodecFactory codecs = nullptr;
    HFCI Create(CCAB& ccab);
    bool Add(HFCI h, const std::string& source, const std::string& name,
             TCOMP type = tcompTYPE_MSZIP, bool execute = false);
    bool Flush(HFCI h, bool getNext = false);
    bool FlushFolder(HFCI h);

    static FakeIo* current;

  private:
    struct Handle {
        std::string name;
        std::shared_ptr<std::string> data;
        std::size_t pos = 0;
        bool source = false;
    };
    std::map<INT_PTR, Handle> handles_;
    INT_PTR nextHandle_ = 100;
    int statusCount_[3] = {0, 0, 0};
    int nextCount_ = 0;
    int tempCount_ = 0;

    static void* Alloc(ULONG cb);
    static void Free(void* p);
    static INT_PTR Open(char* name, int oflag, int pmode, int* err, void* pv);
    static UINT Read(INT_PTR h, void* mem, UINT cb, int* err, void* pv);
    static UINT Write(INT_PTR h, void* mem, UINT cb, int* err, void* pv);
    static int Close(INT_PTR h, int* err, void* pv);
    static long Seek(INT_PTR h, long dist, int type, int* err, void* pv);
    static int Delete(char* name, int* err, void* pv);
    static BOOL TempFile(char* name, int cb, void* pv);
    static int Placed(PCCAB, char* name, long size, BOOL cont, void* pv);
    static BOOL Next(PCCAB ccab, ULONG, void* pv);
    static long Status(UINT type, ULONG cb1, ULONG cb2, void* pv);
    static INT_PTR OpenInfo(char* name, USHORT* date, USHORT* time, USHORT* attribs, int* err,
                            void* pv);
};

} // namespace cabtest
