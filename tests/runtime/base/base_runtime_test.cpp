#include "runtime/base/base_runtime.h"

#include "runtime/base/bin_file.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"
#include "tests/support/temp_folder.h"

#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

TEST(BaseRuntime, StartTakesLocaleAndEndClosesFiles) {
    setenv("LC_ALL", "C.UTF-8", 1);
    StartBaseRuntime();
    EXPECT_EQ(TextLower(u"ÉTÉ"), u"été"); // case mapping follows the environment's locale

    TempFolder folder("tintwell-runtime");
    ASSERT_FALSE(folder.path.empty());
    String path = folder.In("open.bin");
    ASSERT_NE(CreateBinFile(3, path), 0);
    EXPECT_EQ(WriteInt32(3, 99), 4);
    EndBaseRuntime();
    EXPECT_EQ(PathSize(path), 4);
    EXPECT_EQ(BinFileLength(3), -1);
}

TEST(BaseRuntime, ProgramFolderBecomesWorkingDirectory) {
    ASSERT_EQ(EnterProgramFolder(), 1);
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    std::string program(exe, size_t(n));
    EXPECT_EQ(program.substr(0, program.rfind('/')), std::string(here));
}
