// tintwell-batch on file names that are not UTF-8, and started with standard
// input and output closed.
#include "tests/batch/batch_harness.h"
#include "tests/support/byte_compare.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <map>

TEST(BatchNames, EveryNameReachesTheFileSystemByteForByte) {
    TempFolder in("tintwell-names-in"), out("tintwell-names-out"), data("tintwell-names-data");
    // Not UTF-8, and the name it would become if read lossily; widths tell the outputs apart.
    const std::string latin1 = "photo\xFF.jpg", replacement = "photo\xEF\xBF\xBD.jpg";
    std::map<std::string, int> two = {{latin1, 40}, {replacement, 56}}, all = two;
    std::filesystem::create_directory(in.path + "many"); // status lines while outputs are open
    for (int i = 1; i <= 20; ++i) all["many/" + std::to_string(i) + ".jpg"] = 224;
    for (auto &[name, width] : all) WriteFile(in.path + name, Jpeg(width, 24, 0));
    std::filesystem::create_directories(out.path + "dest/dest\xEF\xBF\xBD");
    struct Case {
        std::string label, arguments, input;
        std::map<std::string, int> expected; // every file written: its width
    };
    const std::vector<Case> cases = {
        {"folder", "-o OUT " + in.path, "", two},
        {"dest", "-o OUTdest\xFF " + in.path + latin1, "", {{"dest\xFF/" + latin1, 40}}},
        {"list", "--files-from - -o OUT", in.path + latin1 + "\n" + in.path + replacement + "\n",
         two},
        {"closed", "-r -j 4 -o OUT " + in.path + " <&- >&- 2>/dev/null; exit $?", "", all},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        std::string folder = out.path + c.label + "/", arguments = c.arguments;
        Result run = RunBatchCommand(arguments.replace(arguments.find("OUT"), 3, folder), data.path,
                                     c.input);
        EXPECT_EQ(run.exit, 0) << run.output;
        EXPECT_EQ(FileLines(run.output).size(), c.label == "closed" ? 0 : c.expected.size());
        std::map<std::string, int> found;
        for (auto &entry : std::filesystem::recursive_directory_iterator(folder)) {
            if (entry.is_directory()) continue;
            std::vector<unsigned char> bytes = ReadFileBytes(entry.path().native());
            int w = 0, h = 0;
            EXPECT_TRUE(!DecodeTestJpeg(bytes, &w, &h).empty() &&
                        std::string(bytes.begin(), bytes.end()).find("[Done]") == std::string::npos)
                << entry.path().native();
            found[entry.path().native().substr(folder.size())] = w;
        }
        EXPECT_EQ(found, c.expected);
    }
}
