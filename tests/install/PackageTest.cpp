#include "Shell.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using installtest::Quoted;
using installtest::RunShell;
using ::testing::HasSubstr;
using ::testing::Not;

bool Have(const std::string& program) {
    return RunShell("command -v " + program).exitCode == 0;
}

// The unpacked tree made read-only for the programs that run from it: for root, whom file modes
// do not stop, the programs run as nobody; for anyone else the write bits go, and come back so
// that the scratch folder can be removed.
class ReadOnlyTree {
public:
    explicit ReadOnlyTree(fs::path root) : root_(std::move(root)) {
        if (::geteuid() != 0) {
            RunShell("chmod -R a-w " + Quoted(root_.string()));
        }
    }
    ~ReadOnlyTree() {
        if (::geteuid() != 0) {
            RunShell("chmod -R u+w " + Quoted(root_.string()));
        }
    }
    ReadOnlyTree(const ReadOnlyTree&) = delete;
    ReadOnlyTree& operator=(const ReadOnlyTree&) = delete;

private:
    fs::path root_;
};

std::string DebIn(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".deb") {
            return entry.path().string();
        }
    }
    return {};
}

TEST(Package, BuildsAndItsProgramsRunFromTheUnpackedReadOnlyTree) {
    if (!MENDRIX_PACKAGE_TEST) {
        GTEST_SKIP() << "the package is built from the normal build only";
    }
    if (!Have("dpkg-deb") || !Have("dpkg-shlibdeps")) {
        GTEST_SKIP() << "dpkg-dev is not installed";
    }
    testsupport::TempDir scratch;
    fs::permissions(scratch.path(), fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
    const auto built =
        RunShell(std::string(MENDRIX_CPACK_COMMAND) + " -G DEB --config " +
                 Quoted(MENDRIX_CPACK_CONFIG) + " -B " + Quoted((scratch / "out").string()));
    ASSERT_EQ(built.exitCode, 0) << built.output;
    const std::string deb = DebIn(scratch / "out");
    ASSERT_FALSE(deb.empty()) << built.output;

    const auto fields = RunShell("dpkg-deb -f " + Quoted(deb) + " Package Version Depends");
    EXPECT_THAT(fields.output, HasSubstr("Package: mendrix\n"));
    EXPECT_THAT(fields.output, HasSubstr(std::string("Version: ") + MENDRIX_VERSION + "\n"));
    EXPECT_THAT(fields.output, HasSubstr("libc6"));
    EXPECT_THAT(fields.output, HasSubstr("libstdc++6"));
    if (MENDRIX_WITH_WINDOW) {
        EXPECT_THAT(fields.output, HasSubstr("libqt6widgets6"));
    }

    const fs::path root = scratch / "root";
    const auto unpacked = RunShell("dpkg -x " + Quoted(deb) + " " + Quoted(root.string()));
    ASSERT_EQ(unpacked.exitCode, 0) << unpacked.output;
    const fs::path data = root / "usr" / MENDRIX_DATA_INSTALL_DIR;
    std::vector<fs::path> expected{root / "usr/bin/mendrix-cli",
                                   root / "usr/share/man/man1/mendrix-cli.1.gz",
                                   root / "usr/share/bash-completion/completions/mendrix-cli",
                                   data / "samples" / "CUSTOMER.DB"};
    if (MENDRIX_WITH_WINDOW) {
        const std::string id = MENDRIX_APP_ID;
        expected.insert(expected.end(),
                        {root / "usr/bin/mendrix", root / "usr/share/man/man1/mendrix.1.gz",
                         root / "usr/share/applications" / (id + ".desktop"),
                         root / "usr/share/metainfo" / (id + ".metainfo.xml"),
                         root / "usr/share/icons/hicolor/scalable/apps" / (id + ".svg"),
                         data / "mendrix-window.png"});
        for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const std::string folder = std::to_string(size) + "x" + std::to_string(size);
            expected.push_back(root / "usr/share/icons/hicolor" / folder / "apps" / (id + ".png"));
        }
    }
    for (const auto& file : expected) {
        EXPECT_TRUE(fs::is_regular_file(file)) << file;
    }

    // The programs run from where the package was unpacked, which they cannot write: their
    // run log goes to the user's state folder and the sample database is copied for the user.
    const fs::path home = scratch / "home";
    fs::create_directories(home);
    if (::geteuid() == 0) {
        RunShell("chown -R nobody:nogroup " + Quoted(home.string()));
    }
    const ReadOnlyTree readOnly(root);
    const std::string user =
        std::string(::geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups "
                                     : "") +
        "env -i PATH=/usr/bin:/bin HOME=" + Quoted(home.string()) +
        " XDG_CONFIG_HOME=" + Quoted((home / "config").string()) +
        " XDG_STATE_HOME=" + Quoted((home / "state").string()) +
        " XDG_DATA_HOME=" + Quoted((home / "data").string()) + " ";
    const std::string cli = user + Quoted((root / "usr/bin/mendrix-cli").string());

    const auto libraries = RunShell("ldd " + Quoted((root / "usr/bin/mendrix-cli").string()));
    EXPECT_THAT(libraries.output, Not(HasSubstr("not found")));
    const auto version = RunShell(cli + " --version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, std::string("mendrix-cli ") + MENDRIX_VERSION + "\n");

    const fs::path copy = home / "copy";
    ASSERT_EQ(RunShell(user + "cp -r " + Quoted((data / "samples").string()) + " " +
                       Quoted(copy.string()))
                  .exitCode,
              0);
    const auto check = RunShell(cli + " check " + Quoted(copy.string()));
    EXPECT_EQ(check.exitCode, 1) << check.output; // the two damaged tables repaired
    const auto verify = RunShell(cli + " verify " + Quoted(copy.string()));
    EXPECT_EQ(verify.exitCode, 0) << verify.output;
    EXPECT_TRUE(fs::is_regular_file(home / "state/mendrix/priv/1Mendrix.log"));
    EXPECT_FALSE(fs::exists(root / "usr/bin/priv"));

    const auto listed = RunShell(cli + " list SAMPLES");
    EXPECT_EQ(listed.exitCode, 0) << listed.output;
    EXPECT_THAT(listed.output, HasSubstr("CUSTOMER.DB"));
    EXPECT_EQ(testsupport::ReadFileBytes(home / "data/mendrix/samples/CUSTOMER.DB"),
              testsupport::ReadFileBytes(data / "samples" / "CUSTOMER.DB"));

    if (MENDRIX_WITH_WINDOW) {
        const auto window = RunShell(user + Quoted((root / "usr/bin/mendrix").string()) + " -V");
        EXPECT_EQ(window.exitCode, 0);
        EXPECT_EQ(window.output, std::string("mendrix ") + MENDRIX_VERSION + "\n");
        const std::string id = MENDRIX_APP_ID;
        if (Have("desktop-file-validate")) {
            const auto desktop =
                RunShell("desktop-file-validate " +
                         Quoted((root / "usr/share/applications" / (id + ".desktop")).string()));
            EXPECT_EQ(desktop.exitCode, 0);
            EXPECT_EQ(desktop.output, "");
        }
        if (Have("appstreamcli")) {
            const auto metainfo =
                RunShell("appstreamcli validate --no-net " +
                         Quoted((root / "usr/share/metainfo" / (id + ".metainfo.xml")).string()));
            EXPECT_EQ(metainfo.exitCode, 0) << metainfo.output;
        }
    }
    if (Have("lintian")) {
        const auto lintian = RunShell("lintian --fail-on error " + Quoted(deb));
        EXPECT_EQ(lintian.exitCode, 0) << lintian.output;
    }
}

} // namespace
