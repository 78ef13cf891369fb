// The workspace's rules that need no window: input order, texts, sizes and the name probe.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include <QDir>

#include "decode/DecodeRules.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "support/test_support.h"

namespace {

TEST(InputOrder, SortsByFileNameCaseInsensitivelyKeepingEachPathAndEqualNamesInOrder) {
    QStringList given = {"/b/Zeta.uue", "/a/alpha.uue", "/c/ALPHA.uue", "beta.uue",
                         "/d/x/Beta.uue"};
    QStringList expected = {"/a/alpha.uue", "/c/ALPHA.uue", "beta.uue", "/d/x/Beta.uue",
                            "/b/Zeta.uue"};
    EXPECT_EQ(SortedByFileName(given), expected);
    EXPECT_EQ(FileNameOf("/d/x/Beta.uue"), "Beta.uue");
    EXPECT_EQ(FileNameOf("beta.uue"), "beta.uue");
    EXPECT_EQ(DirectoryOf("/d/x/Beta.uue"), "/d/x");
    EXPECT_EQ(DirectoryOf("beta.uue"), "");
    EXPECT_EQ(DirectoryOf("/a.uue"), "");
}

TEST(Texts, LibraryResultsProgressAndSizes) {
    struct Row {
        int code;
        int id;
    } rows[] = {{0, 0},
                {1, IDS_IO_ERROR},
                {2, IDS_NO_MEMORY},
                {3, IDS_INTERNAL_ERROR},
                {4, IDS_NO_DATA},
                {5, IDS_NO_END},
                {6, IDS_UNKNOWN_ERROR},
                {7, IDS_TARGET_EXISTS},
                {8, IDS_UNKNOWN_ERROR},
                {9, IDS_CANCELED},
                {-1, IDS_UNKNOWN_ERROR}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(LibraryResultString(row.code), row.id);
    }
    EXPECT_EQ(LoadString(IDS_CANCELED), "The operation was canceled at the users request.");
    EXPECT_EQ(LoadString(IDS_NO_FILES),
              "There are currently no files available for that action\nPlease Add Files to the "
              "list");

    codec::Progress progress;
    progress.parts = 1;
    progress.part = 1;
    progress.percent = 37;
    EXPECT_EQ(ProgressPercent(progress), 37);
    progress.parts = 3;
    progress.part = 2;
    progress.percent = 50;
    EXPECT_EQ(ProgressPercent(progress), 50);  // (1 + 0.5) / 3 = 50 %
    progress.part = 3;
    progress.percent = 99;
    EXPECT_EQ(ProgressPercent(progress), 99);  // 99.67 truncated
    EXPECT_EQ(FormatString(IDS_DECODE_PROGRESS, "a%sb.bin", 42), "File: a%sb.bin 42% processed.");
    std::memset(progress.currentFile, 'n', sizeof progress.currentFile);  // no terminator
    EXPECT_EQ(ProgressFileName(progress).size(), 256);
    std::strcpy(progress.currentFile, "fox.jpg");
    EXPECT_EQ(ProgressFileName(progress), "fox.jpg");

    EXPECT_EQ(SizeText(1023), "0K");
    EXPECT_EQ(SizeText(1024), "1K");
    EXPECT_EQ(SizeText(1 << 20), "1024K");
    EXPECT_EQ(FileStatusExtent(codec::kStateReady), 400);
    EXPECT_EQ(FileStatusExtent(codec::kStateFailed | codec::kStateNoEnd), 400);
    EXPECT_EQ(FileStatusExtent(codec::kStateMissingParts | codec::kStateNoEnd), 25);
}

TEST(OutputNameProbe, DecidesByCreatingAFileInTheTemporaryDirectoryAndLeavesNoTrace) {
    test::TempDir dir;
    QString temp = QString::fromStdString(dir.path()) + "/";

    EXPECT_TRUE(IsAcceptableOutputName("report.zip", temp));
    EXPECT_TRUE(dir.List().empty()) << "the probe file must be removed";

    test::WriteFile(dir / "kept.txt", "old contents");
    EXPECT_TRUE(IsAcceptableOutputName("kept.txt", temp));
    EXPECT_EQ(test::ReadFile(dir / "kept.txt"), "old contents");

    mkdir((dir / "folder").c_str(), 0700);
    symlink("/etc/passwd", (dir / "link").c_str());
    for (const char* bad :
         {"", ".", "..", "sub/name.txt", "sub\\name.txt", "C:\\name.txt", "folder", "link"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(IsAcceptableOutputName(QString::fromUtf8(bad), temp));
    }
    EXPECT_FALSE(IsAcceptableOutputName(QString(300, 'n'), temp)) << "longer than a name may be";
    EXPECT_FALSE(IsAcceptableOutputName(QString(250, 'n'), temp + QString(4000, 'd') + "/"))
        << "a probe path past the path limit";
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"folder", "kept.txt", "link"}));
}

}  // namespace
