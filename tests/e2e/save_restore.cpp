// End-to-end tests of saving a RAID system's configuration to a file and
// restoring it: the path rules, the refusals, the file's bytes, saves that
// fail part way, and the emulator started on a saved configuration.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "texts.h"

using e2e::fromHex;
using nlohmann::json;
using namespace testsupport;

namespace {

constexpr size_t kImageSize = 940032;
const std::string kUnknownMinusOne = "\nError: This error code is unknown!\nReturn code: -1\n";

// One system behind one path; `extra` adds or replaces model keys.
std::string scenario(const std::string& wwn, const json& extra = json::object()) {
    json system = {{"wwn", wwn}};
    system.update(extra);
    return testsupport::onePathScenario("Save Test", 8, system);
}

// Two arrays, three logical drives and a host map.
json configured() {
    return {{"arrays",
             {{{"drives", {0, 1, 2}}, {"level", 5}, {"chunkKb", 64}, {"name", "Data"}},
              {{"drives", {3, 4}}, {"level", 1}, {"chunkKb", 128}, {"state", "trusted"}}}},
            {"logicalDrives",
             {{{"array", 0}, {"capacityGb", 100}, {"name", "vol0"}},
              {{"array", 0}, {"capacityGb", 50}, {"name", "vol1"}},
              {{"array", 1}, {"capacityGb", 20}, {"name", "vol2"}}}},
            {"mappings",
             {{{"node", "2000000000AA0001"},
               {"port", "2100000000AA0001"},
               {"name", "hostA"},
               {"luns", {{{"lun", 0}, {"logicalDrive", 0}, {"ports", 15}}, {{"lun", 3}, {"logicalDrive", 2}, {"ports", 1}}}}}}},
            {"spares", {{{"drive", 7}}}}};
}

std::string said(const std::string& line) { return "\n" + line + "\n"; }

// The refusal of a save over an existing file without the overwrite flag.
std::string exists(const std::string& path) {
    return said("File already exists: [" + path + "]") +
           said("Use: LQCL -F -g -z saveconfig -m <ConfigFileName> [-l <ConfigFileOverwrite>]") + kUnknownMinusOne;
}

// The committed image of system 0, rebuilt from the emulator's state file.
std::string committedImage(const Simulator& sim, const std::string& stateFile) {
    sim.ctl("save-state");
    std::string image(kImageSize, '\0');
    const json state = json::parse(readFile(stateFile));
    for (const auto& run : state["systems"][0]["configImage"])
        image.replace(run[0].get<size_t>(), run[1].get<std::string>().size() / 2, fromHex(run[1]));
    return image;
}

// The restore writes the tool sent (WRITE BUFFER, buffer 0x83), their data joined.
std::string restoreWrites(const Simulator& sim, size_t* commands = nullptr) {
    const std::vector<std::string> writes = testsupport::sentData(sim, "3b0283");
    if (commands) *commands = writes.size();
    std::string joined;
    for (const auto& w : writes) joined += w;
    return fromHex(joined);
}

TEST(SaveRestore, SavingTwiceNeedsTheOverwriteFlagAndTheFileIsTheImage) {
    TempDir work;
    const std::string state = work.path() + "/state.json";
    Simulator sim(scenario("2000001122334400", configured()), {"--state", state});
    const std::string path = work.path() + "/cfg.bin";

    expectRun(sim, {"-F", "-g", "-z", "saveconfig", "-m", path},
              said("Configuration saved successfully to: [" + path + "]"), 0);
    const std::string saved = readFile(path);
    ASSERT_EQ(saved.size(), kImageSize);
    EXPECT_TRUE(saved == committedImage(sim, state));

    const std::string refused = exists(path);
    for (const std::vector<std::string>& flag : {std::vector<std::string>{}, {"-l", "0"}}) {
        std::vector<std::string> args = {"-F", "-g", "-z", "saveconfig", "-m", path};
        args.insert(args.end(), flag.begin(), flag.end());
        expectRun(sim, args, refused, 1);
    }
    writeFile(path, "123");
    expectRun(sim, {"-F", "-g", "-z", "saveconfig", "-m", path, "-l", "1"},
              said("Configuration saved successfully to: [" + path + "]"), 0);
    EXPECT_TRUE(readFile(path) == saved);
    // Nothing but the save itself is left in the directory.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(work.path())) ++entries;
    EXPECT_EQ(entries, 2u);   // the save and the emulator's state file

    // A link at the target is never written through.
    const std::string target = work.path() + "/elsewhere", link = work.path() + "/link.bin";
    writeFile(target, "777");
    std::filesystem::create_symlink(target, link);
    expectRun(sim, {"-F", "-g", "-z", "saveconfig", "-m", link}, exists(link), 1);
    expectRun(sim, {"-F", "-g", "-z", "saveconfig", "-m", link, "-l", "1"},
              said("Error writing to a file: [" + link + "]") + kUnknownMinusOne, 1);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(target), "777");
}

TEST(SaveRestore, PathRules) {
    Simulator sim(scenario("2000001122334400", configured()));
    TempDir work, programDir;
    // A copy of the tool: a bare name goes to the directory of the program.
    const std::string program = programDir.path() + "/lqcl";
    std::filesystem::copy_file(LQCL_BINARY, program);
    struct Case {
        std::vector<std::string> name;
        std::string expectedPath;
    } cases[] = {
        {{"-m", work.path() + "/"}, work.path() + "/raidsystemconfig.bin"},
        {{"-m", "bare.bin"}, programDir.path() + "/bare.bin"},
        {{}, programDir.path() + "/raidsystemconfig.bin"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {program, "-F", "-g", "-z", "saveconfig"};
        argv.insert(argv.end(), c.name.begin(), c.name.end());
        testsupport::expectResult(testsupport::run(argv, sim.env(), work.path()),
                                  said("Configuration saved successfully to: [" + c.expectedPath + "]"), 0,
                                  c.expectedPath);
        EXPECT_EQ(readFile(c.expectedPath).size(), kImageSize);
    }
    // The restore's default name is not the save's.
    testsupport::expectResult(
        testsupport::run({program, "-F", "-s", "-z", "restoreconfig", "-m", "raidsystem.cfg"}, sim.env()),
        said("Error opening a file: [raidsystem.cfg]") + kUnknownMinusOne, 1);
}

TEST(SaveRestore, RestoreRefusesWhatIsNotASavedImage) {
    Simulator sim(scenario("2000001122334400", configured()));
    TempDir work;
    const std::string dir = work.path();
    std::string image(kImageSize, '\0');
    image[1] = 0x58, image[2] = 0x0E;   // 940032, little-endian
    writeFile(dir + "/short.cfg", image.substr(0, 1000));
    writeFile(dir + "/long.cfg", image + '\0');
    image[1] = 0x57;
    writeFile(dir + "/field.cfg", image);
    std::filesystem::create_directory(dir + "/adir");
    const std::string notSaved = " is not a saved configuration: ";
    struct Case {
        std::string name, out;
    } cases[] = {
        {dir + "/missing.cfg", said("Error opening a file: [" + dir + "/missing.cfg]")},
        {dir + "/adir", said("Error opening a file: [" + dir + "/adir]")},
        {dir + "/short.cfg", said("Error: [" + dir + "/short.cfg]" + notSaved +
                                  "it holds 1000 bytes, a saved configuration holds 940032 bytes.")},
        {dir + "/long.cfg", said("Error: [" + dir + "/long.cfg]" + notSaved +
                                 "it holds 940033 bytes, a saved configuration holds 940032 bytes.")},
        {dir + "/field.cfg", said("Error: [" + dir + "/field.cfg]" + notSaved +
                                  "its length field gives 939776 bytes, a saved configuration holds 940032 bytes.")},
    };
    for (const auto& c : cases) {
        expectRun(sim, {"-F", "-s", "-z", "restoreconfig", "-m", c.name}, c.out + kUnknownMinusOne, 1);
    }
    size_t sent = 0;
    restoreWrites(sim, &sent);
    EXPECT_EQ(sent, 0u);
}

TEST(SaveRestore, ABusySystemIsNotSaved) {
    json model = configured();
    model["arrays"][0]["state"] = "initialising";
    Simulator sim(scenario("2000001122334400", model));
    TempDir work;
    expectRun(sim, {"-F", "-g", "-z", "saveconfig", "-m", work.path() + "/cfg.bin"},
              said("Error: Save Config failed. System busy.") + kUnknownMinusOne, 1);
    EXPECT_FALSE(std::filesystem::exists(work.path() + "/cfg.bin"));
}

// A save into a file system that is full or read-only, in a private mount
// namespace: the earlier save stays as it was and nothing else is left.
TEST(SaveRestore, AFailedSaveLeavesNothingBehind) {
    if (testsupport::run({"/usr/bin/unshare", "-m", "true"}).status != 0) GTEST_SKIP() << "no mount namespaces here";
    Simulator sim(scenario("2000001122334400", configured()));
    TempDir mount;
    const std::string dir = mount.path();
    struct Case {
        const char* what;
        std::string setup;
    } cases[] = {
        {"full", "mount -t tmpfs -o size=512k tmpfs " + dir + " && printf old > " + dir + "/cfg.bin"},
        {"read-only", "mount -t tmpfs -o size=4m tmpfs " + dir + " && printf old > " + dir + "/cfg.bin && mount -o remount,ro " + dir},
    };
    for (const auto& c : cases) {
        const std::string script = c.setup + " && { " + LQCL_BINARY + " -F -g -z saveconfig -m " + dir +
                                   "/cfg.bin -l 1; echo \"status=$?\"; ls -A " + dir + "; cat " + dir + "/cfg.bin; }";
        RunResult r = testsupport::run({"/usr/bin/unshare", "-m", "sh", "-c", script}, sim.env());
        EXPECT_EQ(r.out, said("Error writing to a file: [" + dir + "/cfg.bin]") + kUnknownMinusOne +
                             "status=1\ncfg.bin\nold")
            << c.what << "\n" << r.err;
    }
}

TEST(SaveRestore, RoundTripIntoAnotherSystem) {
    Simulator source(scenario("2000001122334400", configured()));
    Simulator target(scenario("2000001122335500"));
    TempDir work;
    const std::string path = work.path() + "/copy.cfg";
    ASSERT_EQ(lqcl(source, {"-F", "-g", "-z", "saveconfig", "-m", path}).status, 0);

    target.clearCommands();
    expectRun(target, {"-F", "-s", "-z", "restoreconfig", "-m", path},
              said("Configuration restored successfully from: [" + path + "]"), 0);
    size_t writes = 0;
    EXPECT_TRUE(restoreWrites(target, &writes) == readFile(path));
    EXPECT_EQ(writes, 29u);   // 940,032 bytes in pieces of 32,768

    for (const char* query : {"rankconfigstruct", "lunmappingstruct", "regionmap"}) {
        RunResult a = lqcl(source, {"-F", "-g", "-z", query});
        RunResult b = lqcl(target, {"-F", "-g", "-z", query});
        EXPECT_EQ(a.status, 0);
        EXPECT_EQ(a.out, b.out) << query;
    }
}

// A saved configuration served by tolvo-sim: an administrator saves a system's
// configuration, starts the emulator on it and tries a change there first.
RunResult scenarioFromImage(const std::string& file) { return run({TOLVO_SIM_BINARY, "scenario-from-image", file}); }

TEST(Rehearsal, TheCopyOfASavedSystemReportsWhatTheOriginalDoes) {
    Simulator original;
    TempDir work;
    const std::string saved = work.path() + "/site.cfg", copyScenario = work.path() + "/site.json";
    ASSERT_EQ(lqcl(original, {"-F", "-g", "-z", "saveconfig", "-m", saved}).status, 0);
    RunResult made = scenarioFromImage(saved);
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.err, "");
    testsupport::writeFile(copyScenario, made.out);
    Simulator copy(copyScenario);
    for (const char* query : {"confighdrstruct", "rankconfigstruct", "hostconfigstruct", "lunmappingstruct", "regionmap"}) {
        RunResult a = lqcl(original, {"-F", "-g", "-z", query});
        RunResult b = lqcl(copy, {"-F", "-g", "-z", query});
        EXPECT_EQ(a.status, 0) << query;
        EXPECT_EQ(b.status, 0) << query;
        EXPECT_EQ(a.out, b.out) << query;
    }
    // A change made on the copy leaves the original as it was.
    ASSERT_EQ(lqcl(copy, {"-F", "-s", "-z", "logicaldrives", "-l", "0", "-m", "trial"}).status, 0);
    const std::vector<std::string> all = {"-F", "-g", "-z", "allinfo"};
    EXPECT_NE(lqcl(copy, all).out.find("\nName           : trial" + std::string(27, ' ') + "\n"), std::string::npos);
    EXPECT_NE(lqcl(original, all).out.find("\nName           : LD 0" + std::string(28, ' ') + "\n"), std::string::npos);
}

TEST(Rehearsal, WhatIsNotAWholeConsistentImageIsRefusedWithTheReason) {
    Simulator original;
    TempDir work;
    const std::string saved = work.path() + "/site.cfg";
    ASSERT_EQ(lqcl(original, {"-F", "-g", "-z", "saveconfig", "-m", saved}).status, 0);
    const std::string image = testsupport::readFile(saved);
    ASSERT_EQ(image.size(), kImageSize);

    std::string twice = image;  // rank 0's second member becomes its first drive again
    twice.replace(0x200 + 0x28, 8, image.substr(0x200 + 0x20, 8));
    std::string noWwn = image;  // the system WWN (header bytes 24-31) cleared
    noWwn.replace(24, 8, std::string(8, '\0'));
    std::string badLength = image;  // the length field (bytes 0-3) says 512
    badLength.replace(0, 4, std::string("\x00\x02\x00\x00", 4));
    struct Case {
        std::string file, bytes, error;
    } cases[] = {
        {"short.cfg", image.substr(0, 512), "not a saved configuration: it holds 512 bytes, a saved configuration holds 940032"},
        {"twice.cfg", twice, "not a consistent configuration: inconsistent configuration: drive in two places"},
        {"nowwn.cfg", noWwn, "not a consistent configuration: no system WWN"},
        {"length.cfg", badLength,
         "not a saved configuration: its length field gives 512 bytes, a saved configuration holds 940032"},
    };
    for (const auto& c : cases) {
        const std::string file = work.path() + "/" + c.file;
        testsupport::writeFile(file, c.bytes);
        RunResult r = scenarioFromImage(file);
        EXPECT_EQ(r.err, "tolvo-sim: " + file + ": " + c.error + "\n") << c.file;
        EXPECT_EQ(r.out, "") << c.file;
        EXPECT_EQ(r.status, 2) << c.file;
    }
    RunResult missing = scenarioFromImage(work.path() + "/none.cfg");
    EXPECT_EQ(missing.err, "tolvo-sim: " + work.path() + "/none.cfg: No such file or directory\n");
    EXPECT_EQ(missing.status, 2);
    RunResult directory = scenarioFromImage(work.path());
    EXPECT_EQ(directory.err, "tolvo-sim: " + work.path() + ": not a regular file\n");
    EXPECT_EQ(directory.status, 2);
}

}  // namespace
