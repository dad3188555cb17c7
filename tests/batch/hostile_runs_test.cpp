// tintwell-batch in hostile surroundings, run as a user runs it: the output
// folder inside an input folder, inputs of one name, list lines without end,
// descriptors running out, and signals while it waits on a list or a full pipe.
#include "tests/batch/batch_harness.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

// Runs `script` in sh inside a fresh folder holding in/{a,b}.png,
// in/sub/{c,d}.png, cam1..cam4/IMG_0001.png and a folder 40 deep; $B is the
// command. Answers standard output and error together.
std::string RunInFolder(const std::string &script) {
    TempFolder folder("tintwell-hostile");
    Picture(48, 32, false).save(QString::fromStdString(folder.path + "pic.png"));
    std::string deep = "deep";
    for (int level = 0; level < 40; level++) deep += "/d";
    std::string line = "cd '" + folder.path + "' && export XDG_DATA_HOME=\"$PWD/data\" B='" +
                       TINTWELL_BATCH + "' && mkdir -p in/sub cam1 cam2 cam3 cam4 " + deep +
                       " && for f in in/a in/b in/sub/c in/sub/d cam1/IMG_0001 cam2/IMG_0001"
                       " cam3/IMG_0001 cam4/IMG_0001; do cp pic.png $f.png; done && { " +
                       script + "; } 2>&1";
    std::string output;
    std::FILE *pipe = popen(line.c_str(), "r");
    char buffer[4096];
    for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    if (pipe) pclose(pipe);
    return output;
}

size_t Occurrences(const std::string &text, const std::string &part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
    return n;
}

struct HostileCase {
    std::string script;
    std::vector<std::pair<std::string, size_t>> counts; // text and how often it must appear
};

void ExpectCases(const std::vector<HostileCase> &cases) {
    for (const HostileCase &c : cases) {
        std::string output = RunInFolder(c.script);
        for (const auto &[text, times] : c.counts)
            EXPECT_EQ(Occurrences(output, text), times) << c.script << "\n"
                                                        << text << "\n"
                                                        << output;
    }
}

} // namespace

TEST(HostileRuns, OutputsInsideInputsClashingNamesAndUnusableLines) {
    std::string longLine = "head -c 9000 /dev/zero | tr '\\000' x";
    ExpectCases({
        {"$B -o in in; echo exit $? files $(ls in | wc -l)",
         {{"[Done]  in/", 2}, {"exit 0 files 5", 1}}},
        {"$B -n -r -o in/sub in; $B -r -o in/sub in",
         {{" -> ", 4},
          {"in/sub/c.png -> in/sub/sub/c.png", 1},
          {"[Done]  in/sub/c.png", 1},
          {"[Done]  ", 4}}},
        {"$B -n -o out cam1 cam2 cam3 cam4; $B -o out cam1 cam2 cam3 cam4; ls out",
         {{"[Done]  cam3/IMG_0001.png", 1},
          {"[Done]  ", 4},
          {"_2.png", 2},
          {"_3.png", 2},
          {"_4.png", 0},
          {"File exists", 0}}},
        {"{ printf 'cam1/IMG_0001.png\\nab\\000cd\\n'; " + longLine +
             "; printf '\\ncam2/IMG_0001.png\\n'; } | $B --files-from - -o out; echo exit $?",
         {{"[Done]  IMG_0001.png", 2},
          {"ab?cd  a path cannot hold a zero byte", 1},
          {"path longer than 4096 bytes", 1},
          {"exit 1", 1}}},
        // The kill only ends a run that hangs; under AddressSanitizer on a busy
        // machine the exit after the summary once took over 8 seconds.
        {"timeout --preserve-status -s INT -k 30 2 $B --files-from /dev/zero -o out; echo exit $?",
         {{"path longer than 4096 bytes", 1}, {"exit 130", 1}}},
        // A listing holds no descriptor once read: 16 are enough for 40 levels.
        {"ulimit -n 16; cp pic.png \"$(find deep -mindepth 40 -type d)/p.png\"; $B -r -o out deep",
         {{"[Done]  deep/", 1}, {"1 done, 0 failed", 1}, {"cannot list", 0}}},
        {"$B --files-from in -o out; echo exit $?",
         {{"cannot read --files-from in", 1}, {"exit 2", 1}}},
        {"$B -r -o in/t in >/dev/null; script -qec \"$B -r -o in/t in\" /dev/null",
         {{"[Done]  ", 8}, {"8/8 files", 1}}},
        {"$B --verbose --memory-limit 4G -j 2 -n -o out in; $B --memory-limit 4X -o out in; "
         "echo exit $?",
         {{"2.0 GB of memory a job", 1}, {"--memory-limit must be a size", 1}, {"exit 2", 1}}},
    });
}

// Each stop ends the run within a second, as it would when the command was busy:
// exit status 130 and the summary (when standard output takes it). The signal
// comes once the settings line (--verbose) says the handlers are in place; a run
// still there twenty seconds after it started is killed (exit 137) and fails the case.
TEST(HostileRuns, StopsEndEveryWait) {
    auto launch = [](std::string command, const std::string &signal) {
        command.replace(command.rfind("$B"), 2, "timeout -s KILL 20 $B"); // passes signals on
        return command + " --verbose 2>v & P=$!; for i in $(seq 200); do [ -s v ] && break; " +
               "sleep 0.1; done; sleep 0.5; kill -" + signal + " $P; wait $P; echo exit $?";
    };
    std::string summary = "0 done, 0 failed, 0 cancelled";
    ExpectCases({
        {launch("mkfifo f; $B --files-from f -o out", "TERM"), {{"exit 130", 1}, {summary, 1}}},
        {launch("mkfifo f; $B --files-from f -o out", "HUP"), {{"exit 130", 1}, {summary, 1}}},
        {launch("mkfifo f; sleep 12 >f 2>/dev/null & $B --files-from - -o out <f", "INT"),
         {{"exit 130", 1}, {summary, 1}}},
        {launch("mkdir many; for i in $(seq 3000); do : >many/$i.txt; done; mkfifo f; "
                "sleep 12 <f >/dev/null 2>&1 & $B -o out many >f",
                "INT"),
         {{"exit 130", 1}}},
    });
}
