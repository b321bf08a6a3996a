// Helpers shared by the tests of the split engine: the CRC text of its
// reports, its job files, and a program folder holding a copy of zeq.
#pragma once

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>
#include <zlib.h>

namespace zeqtest {

// A CRC-32 as the reports give it: upper-case hexadecimal, no leading zeros.
inline std::string Crc(const std::string& bytes) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%lX",
                  crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
    return buf;
}

// The three job files as the launcher writes them into the program folder.
inline void WriteJobFiles(const std::string& prog, const std::vector<std::string>& pieNames,
                          const std::vector<std::string>& pieSizes,
                          const std::vector<std::string>& pieSplit) {
    testutil::WriteFile(prog + "/pienames.txt", testutil::CrLfLines(pieNames));
    testutil::WriteFile(prog + "/piesizes.txt", testutil::CrLfLines(pieSizes));
    testutil::WriteFile(prog + "/piesplit.txt", testutil::CrLfLines(pieSplit));
}

// The environment that shows the program's windows on the private X server.
inline std::map<std::string, std::string> OnX(const testutil::XServer& x) {
    return {{"DISPLAY", x.display()}, {"QT_QPA_PLATFORM", "xcb"}};
}

// A temporary folder with a program folder "prog" holding a copy of zeq, a
// target folder (made only when asked) and the path of the source file.
// Small file systems mounted on the target are taken off after the test.
class ProgramFolder : public ::testing::Test {
  protected:
    ProgramFolder(const std::string& prefix, std::string zeqBinary,
                  const std::string& targetName = "target", bool makeTarget = true)
        : dir(prefix), zeqBinary_(std::move(zeqBinary)), makeTarget_(makeTarget) {
        prog = dir / "prog";
        target = dir / targetName;
        source = dir / "movie.avi";
    }
    void SetUp() override {
        std::filesystem::create_directories(prog);
        if (makeTarget_) std::filesystem::create_directories(target);
        std::filesystem::copy_file(zeqBinary_, prog + "/zeq");
    }
    void TearDown() override {
        while (mounted > 0 && testutil::Run({"umount", target}).exitCode == 0)
            --mounted;
    }

    // A fresh tmpfs of the given size on the target; false when it cannot be mounted.
    bool MountTarget(const std::string& size) {
        if (testutil::Run({"mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", target})
                .exitCode != 0)
            return false;
        ++mounted;
        return true;
    }

    testutil::TempDir dir;
    std::string prog, target, source;
    int mounted = 0;

  private:
    std::string zeqBinary_;
    bool makeTarget_;
};

} // namespace zeqtest
