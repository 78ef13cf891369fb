// Part numbering and file names in Subject lines.
#include <gtest/gtest.h>

#include "message/subject.h"

namespace {

TEST(Subject, FindsTheLastNumberingInEveryForm) {
    struct Row {
        const char* subject;
        int number, total;
        const char* key;
        const char* name;
    } rows[] = {
        {"holiday.jpg (2/5)", 2, 5, "holiday.jpg", "holiday.jpg"},
        {"Re: holiday.jpg [02/10]", 2, 10, "holiday.jpg", "holiday.jpg"},
        {"holiday.jpg 3/7", 3, 7, "holiday.jpg", "holiday.jpg"},
        {"holiday.jpg - part 3 of 7", 3, 7, "holiday.jpg", "holiday.jpg"},
        {"Part 4 of 9: archive.zip", 4, 9, ": archive.zip", "archive.zip"},
        {"archive.zip 3 of 7 now", 3, 7, "archive.zip now", "archive.zip"},
        {"[1/3] - \"set.rar\" yEnc (07/20)", 7, 20, "[1/3] - \"set.rar\" yenc", "set.rar"},
        {"( 1 / 2 ) spaced.gif", 1, 2, "spaced.gif", "spaced.gif"},
        {"no numbering here", 0, 0, "no numbering here", ""},
        {"version 1.2 of 2024", 0, 0, "version 1.2 of 2024", ""},
        {"a (3/2) inverted", 0, 0, "a (3/2) inverted", ""},
        {"film.001 (1/1)", 1, 1, "film.001", "film.001"},
        {"backup.zip {2/5}", 2, 5, "backup.zip", "backup.zip"},
        {"backup.part3 of 7", 3, 7, "backup.", ""},
        {"File 1 of 3 - set.zip (2/4)", 2, 4, "file 1 of 3 - set.zip", "set.zip"},
        {"depart3 of 7", 0, 0, "depart3 of 7", ""},
        {"huge (1/99999999999)", 0, 0, "huge (1/99999999999)", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.subject);
        codec::SubjectInfo s = codec::ParseSubject(row.subject);
        EXPECT_EQ(row.number, s.number);
        EXPECT_EQ(row.total, s.total);
        EXPECT_EQ(row.key, s.key);
        EXPECT_EQ(row.name, s.nameToken);
    }
}

TEST(Subject, GivesPartsOfOnePostingTheSameKey) {
    EXPECT_EQ(codec::ParseSubject("Re: My Pics - a.zip (1/3)").key,
              codec::ParseSubject("My  pics - a.zip (3/3)").key);
}

}  // namespace
