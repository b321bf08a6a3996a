// A scripted stand-in for the cabinet interface layer. It implements the
// functions of vCabIntf.h without an engine, records every call, and fails
// where the test's script says so:
//  - CabCreate fails createFailures times (interface code 6, system code 13);
//  - CabAddFile of a source path listed in unreadable fails with interface
//    code 2 (system code 5), as often as the listed count says (-1: always);
//  - each CabAddFile reports progress 50 and 100 through the progress relay;
//    an abort answer there fails the call with code 7;
//  - when a cabinet already holds filesPerCabinet files, the next CabAddFile
//    first closes it (writes it) and asks for the next one through the
//    next-cabinet relay; an abort answer fails the call with code 7;
//  - CabFlush writes the cabinet in progress, fails flushFailures times first
//    (code 6), and fails with code 6 when that file already exists;
//  - CabRemoveWritten deletes the cabinets the context wrote, but for those
//    listed in outOfReach, which it returns.
// A "cabinet" written by the double is a text file listing the names stored
// in it, one per line.
#pragma once

#include "vCabIntf.h"

#include <map>
#include <string>
#include <vector>

namespace fakecab {

struct Script {
    int createFailures = 0;
    std::map<std::string, int> unreadable;
    int filesPerCabinet = 0; // 0: everything in one cabinet
    int flushFailures = 0;
    std::vector<std::string> outOfReach; // full paths
};

struct AddCall {
    std::string sourcePath;
    std::string nameInCab;
    TCompressionType compType = ctNone;
    int windowExponent = 0;
    bool execute = false;
    bool ok = false;
};

struct CreateCall {
    std::string cabFile;
    std::string diskName;
    int folderSize = 0;
    int diskSize = 0;
    int reserved = 0;
    int setNumber = 0;
};

struct Record {
    std::vector<CreateCall> creates;
    std::vector<AddCall> adds;
    int flushes = 0;
    int destroys = 0;
    int liveContexts = 0;
    std::vector<std::string> cabinetsWritten; // full paths, in order
    std::vector<int> diskNumbers;             // iDisk of each cabinet written
    std::vector<std::string> cabinetsRemoved; // by CabRemoveWritten
};

// Clears the script and the record; call at the start of each test.
void Reset();
Script& script();
Record& record();

} // namespace fakecab
