// The FCI calls: each turns the writer's failures into the caller's error
// record and a FALSE result. Nothing thrown inside ever leaves them.
#include "fci.h"

#include "CabWriter.h"
#include "CodecRegistry.h"

#include <new>

namespace {

constexpr std::uint32_t ContextMagic = 0x46434943; // "FCIC"

struct Context {
    Context(PERF perf, PFNFCIALLOC alloc, PFNFCIFREE free, const cab::IoCallbacks& io,
            const CCAB& ccab)
        : heap{alloc, free}, erf(perf), writer(&heap, io, ccab) {}
    std::uint32_t magic = ContextMagic;
    cab::HeapCallbacks heap;
    PERF erf;
    cab::CabWriter writer;
};

void Report(PERF erf, const cab::Failure& f) {
    if (!erf) return;
    erf->erfOper = f.code;
    erf->erfType = f.sysError;
    erf->fError = TRUE;
}

Context* FromHandle(HFCI h) {
    auto* c = static_cast<Context*>(h);
    return c && c->magic == ContextMagic ? c : nullptr;
}

// Runs call; whatever it throws becomes a Failure (anything unknown gets
// otherCode) and false.
template <class Call> bool Capture(Call&& call, cab::Failure& failure, int otherCode) {
    try {
        call();
        return true;
    } catch (const cab::Failure& f) {
        failure = f;
    } catch (const std::bad_alloc&) {
        failure = cab::Failure{FCIERR_ALLOC_FAIL, 0, false};
    } catch (...) {
        failure = cab::Failure{otherCode, 0, false};
    }
    return false;
}

template <class Call> BOOL Run(HFCI h, Call&& call) {
    Context* c = FromHandle(h);
    if (!c) return FALSE;
    cab::Failure failure;
    if (Capture([&] { call(c->writer); }, failure, FCIERR_MCI_FAIL)) return TRUE;
    Report(c->erf, failure);
    if (!failure.recoverable) c->writer.MarkBroken(failure);
    return FALSE;
}

} // namespace

HFCI FCICreate(PERF perf, PFNFCIFILEPLACED pfnfcifp, PFNFCIALLOC pfna, PFNFCIFREE pfnf,
               PFNFCIOPEN pfnopen, PFNFCIREAD pfnread, PFNFCIWRITE pfnwrite, PFNFCICLOSE pfnclose,
               PFNFCISEEK pfnseek, PFNFCIDELETE pfndelete, PFNFCIGETTEMPFILE pfnfcigtf, PCCAB pccab,
               void* pv) {
    if (!pfna || !pfnf || !pfnopen || !pfnread || !pfnwrite || !pfnclose || !pfnseek ||
        !pfndelete || !pfnfcigtf || !pccab) {
        Report(perf, cab::Failure{FCIERR_CAB_FILE, 0, false});
        return nullptr;
    }
    cab::IoCallbacks io{pfnfcifp, pfnopen,   pfnread,   pfnwrite, pfnclose,
                        pfnseek,  pfndelete, pfnfcigtf, pv};
    void* memory = nullptr;
    try {
        memory = pfna(sizeof(Context));
    } catch (...) {
        memory = nullptr;
    }
    if (!memory) {
        Report(perf, cab::Failure{FCIERR_ALLOC_FAIL, 0, false});
        return nullptr;
    }
    auto* c = new (memory) Context(perf, pfna, pfnf, io, *pccab);
    cab::Failure failure;
    if (Capture([c] { c->writer.Open(); }, failure, FCIERR_TEMP_FILE)) return c;
    Report(perf, failure);
    c->writer.Close();
    c->~Context();
    pfnf(memory);
    return nullptr;
}

BOOL FCIAddFile(HFCI hfci, char* pszSourceFile, char* pszFileName, BOOL fExecute,
                PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis, PFNFCIGETOPENINFO pfnfcigoi,
                TCOMP typeCompress) {
    return Run(hfci, [&](cab::CabWriter& w) {
        w.AddFile(pszSourceFile, pszFileName, fExecute != FALSE, pfnfcignc, pfnfcis, pfnfcigoi,
                  typeCompress);
    });
}

BOOL FCIFlushFolder(HFCI hfci, PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis) {
    return Run(hfci, [&](cab::CabWriter& w) { w.FlushFolder(pfnfcignc, pfnfcis); });
}

BOOL FCIFlushCabinet(HFCI hfci, BOOL fGetNextCab, PFNFCIGETNEXTCABINET pfnfcignc,
                     PFNFCISTATUS pfnfcis) {
    return Run(
        hfci, [&](cab::CabWriter& w) { w.FlushCabinet(fGetNextCab != FALSE, pfnfcignc, pfnfcis); });
}

BOOL FCIDestroy(HFCI hfci) {
    Context* c = FromHandle(hfci);
    if (!c) return FALSE;
    bool ok = c->writer.Close();
    PFNFCIFREE release = c->heap.free;
    c->magic = 0;
    c->~Context();
    release(c);
    return ok ? TRUE : FALSE;
}

bool cab::SetContextCodecFactory(HFCI hfci, CodecFactory factory) {
    Context* c = FromHandle(hfci);
    if (!c) return false;
    c->writer.SetCodecFactory(factory);
    return true;
}
