#include "kiv/data/String.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using kiv::string;

TEST(String, ReservedBufferIsEmptyTerminatedTextForDirectWriting)
{
    string s(40);
    ASSERT_NE(s.GetText(), nullptr);
    EXPECT_EQ(s.GetCapacity(), 40);
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_STREQ(s.GetText(), "");

    strcpy(s.GetBuffer(), "written");
    s.UpdateLength();
    EXPECT_EQ(s.GetLength(), 7);

    // Reserving again (larger or not) leaves an empty text with a true length.
    s.Reserve(100);
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_STREQ(s.GetText(), "");
    s = "abc";
    s.Reserve(10);
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_STREQ(s.CStr(), "");
}

TEST(String, UpdateLengthStaysInsideAFullBuffer)
{
    string s(4);
    memset(s.GetBuffer(), 'x', 4);  // no NUL written by the caller
    s.UpdateLength();
    EXPECT_EQ(s.GetLength(), 3);
    EXPECT_STREQ(s.GetText(), "xxx");
}

TEST(String, AssignGrowsToExactSizeAndKeepsBufferWhenCleared)
{
    string s;
    s.Assign("hello");
    EXPECT_EQ(s.GetCapacity(), 6);
    const char* buffer = s.GetText();
    s.Assign("hi");
    EXPECT_EQ(s.GetText(), buffer);
    EXPECT_STREQ(s.GetText(), "hi");

    s.Assign(nullptr);
    EXPECT_EQ(s.GetText(), buffer);
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_STREQ(s.CStr(), "");
    s.Assign("x");
    s.Assign("");
    EXPECT_EQ(s.GetText(), buffer);
    EXPECT_EQ(s.GetLength(), 0);
}

TEST(String, AssignFromItsOwnText)
{
    string s("abcdef");
    s.Assign(s.GetText() + 2);
    EXPECT_STREQ(s.GetText(), "cdef");
    EXPECT_EQ(s.GetLength(), 4);
    const string& self = s;
    s = self;
    EXPECT_STREQ(s.GetText(), "cdef");
}

TEST(String, AppendGrowsToExactSizeAndWritesAtTheLength)
{
    string s;
    s.Append("abc");  // no buffer yet: acts as Assign
    EXPECT_STREQ(s.GetText(), "abc");
    EXPECT_EQ(s.GetCapacity(), 4);

    s.Append("de");
    EXPECT_STREQ(s.GetText(), "abcde");
    EXPECT_EQ(s.GetCapacity(), 6);
    EXPECT_EQ(s.GetLength(), 5);

    // A reserved buffer with stale bytes past the length: appending goes at the length.
    string r(32);
    memcpy(r.GetBuffer(), "ab\0zz", 6);
    r.UpdateLength();
    r.Append("cd");
    EXPECT_STREQ(r.GetText(), "abcd");
    EXPECT_EQ(r.GetLength(), 4);
    EXPECT_EQ(r.GetCapacity(), 32);
}

TEST(String, AppendOfItselfDoublesTheText)
{
    string s("abc");
    s += s;
    EXPECT_STREQ(s.GetText(), "abcabc");
    EXPECT_EQ(s.GetLength(), 6);

    string roomy(64);
    roomy = "xy";
    roomy += roomy;
    EXPECT_STREQ(roomy.GetText(), "xyxy");
    roomy.Append(roomy.GetText() + 1);
    EXPECT_STREQ(roomy.GetText(), "xyxyyxy");
}

TEST(String, AppendCharGrowsBySixteen)
{
    string s;
    s.AppendChar('a');
    EXPECT_STREQ(s.GetText(), "a");
    EXPECT_EQ(s.GetCapacity(), 16);
    for (int i = 0; i < 14; ++i)
        s.AppendChar('b');
    EXPECT_EQ(s.GetLength(), 15);
    EXPECT_EQ(s.GetCapacity(), 16);  // 15 characters and the NUL still fit
    s.AppendChar('c');
    EXPECT_EQ(s.GetCapacity(), 31);  // grew by 16 when length + 1 reached 16
    EXPECT_EQ(s.GetLength(), 16);
    EXPECT_EQ(strlen(s.GetText()), 16u);
}

TEST(String, CopiesAreDeep)
{
    string a("shared?");
    {
        string b(a);
        b.Assign("changed");
        string c;
        c = a;
        EXPECT_NE(c.GetText(), a.GetText());
    }
    EXPECT_STREQ(a.GetText(), "shared?");
    string moved(std::move(a));
    EXPECT_STREQ(moved.GetText(), "shared?");
}

TEST(String, FormatCutsResultsLongerThanItsWorkBuffer)
{
    string s;
    s.Format("%s-%d", "part", 12);
    EXPECT_STREQ(s.GetText(), "part-12");
    std::string longText(5000, 'q');
    s.Format("%s", longText.c_str());
    EXPECT_EQ(s.GetLength(), 1023);
}

TEST(String, NoCaseOrderFoldsOnlyLowerCaseLetters)
{
    EXPECT_TRUE(string("abc").LessNoCase("ABCD"));
    EXPECT_FALSE(string("ABCD").LessNoCase("abc"));
    EXPECT_TRUE(string("ABCD").GreaterNoCase("abc"));
    // '_' sits between upper and lower case; neither side is folded past it.
    EXPECT_FALSE(string("a_").LessNoCase("A_"));
    EXPECT_FALSE(string("A_").LessNoCase("a_"));
    EXPECT_TRUE(string("Z").LessNoCase("_"));
    EXPECT_FALSE(string("_").LessNoCase("a"));  // a is folded up to A, below _
    // Other letters are not folded: an accented capital stays below its small form.
    EXPECT_NE(kiv::CompareNoCase("\xC9", "\xE9"), 0);
    EXPECT_TRUE(string().LessNoCase("a"));
    EXPECT_EQ(kiv::CompareNoCase(nullptr, ""), 0);
}

// ------------------------------------------------------------------ StringRef

TEST(StringRef, InitCopiesAtMostMaxLengthAndOnlyOnce)
{
    StringRef all("abcdef");
    EXPECT_STREQ(all.GetText(), "abcdef");
    EXPECT_EQ(all.GetLength(), 6);

    char unterminated[4] = {'w', 'x', 'y', 'z'};
    StringRef part(unterminated, 3);
    EXPECT_STREQ(part.GetText(), "wxy");

    EXPECT_FALSE(all.Init("other", -1));
    EXPECT_STREQ(all.GetText(), "abcdef");

    StringRef empty("");
    EXPECT_EQ(empty.GetText(), nullptr);
    EXPECT_EQ(empty.GetLength(), 0);
}

TEST(StringRef, MidTakesPositionsFromEitherEnd)
{
    StringRef s("abcdef");
    EXPECT_STREQ(s.Mid(-3, 0).CStr(), "def");
    EXPECT_STREQ(s.Mid(-10, 2).CStr(), "");
    EXPECT_STREQ(s.Mid(2, 10).CStr(), "cdef");
    EXPECT_STREQ(s.Mid(1, 2).CStr(), "bc");
    EXPECT_STREQ(s.Mid(0, -1).CStr(), "abcdef");
    // At or past the end there is nothing to take.
    EXPECT_STREQ(s.Mid(6, 0).CStr(), "");
    EXPECT_STREQ(s.Mid(100, 3).CStr(), "");
    EXPECT_EQ(s.Mid(100, 3).GetLength(), 0);
    EXPECT_STREQ(StringRef().Mid(0, 0).CStr(), "");
}

TEST(StringRef, CopiesShareOneBufferFreedByTheLastHolder)
{
    auto* first = new StringRef("shared");
    const char* buffer = first->GetText();
    auto* second = new StringRef(*first);
    StringRef third;
    third = *second;
    EXPECT_EQ(second->GetText(), buffer);
    EXPECT_EQ(third.GetText(), buffer);
    delete first;
    delete second;
    // Under the address sanitizer a freed buffer would be reported here.
    EXPECT_STREQ(third.GetText(), "shared");
    const StringRef& self = third;
    third = self;
    EXPECT_STREQ(third.GetText(), "shared");
}

TEST(StringMut, ChangesDetachFromSharedCopies)
{
    StringMut original;
    original.Assign("before");  // a buffer made by Assign is shareable too
    StringMut copy(original);
    EXPECT_EQ(copy.GetText(), original.GetText());

    copy.Assign("after, longer");
    EXPECT_STREQ(original.GetText(), "before");
    EXPECT_STREQ(copy.GetText(), "after, longer");

    StringMut another(original);
    another.Clear();
    EXPECT_STREQ(original.GetText(), "before");
    EXPECT_STREQ(another.CStr(), "");

    StringMut short1(original);
    short1.Assign("be");  // fits in place, but the buffer is not its own
    EXPECT_STREQ(original.GetText(), "before");
    EXPECT_STREQ(short1.GetText(), "be");
}

TEST(StringMut, AssignFromItsOwnTextAndClearKeepsBuffer)
{
    StringMut s("abcdef");
    const char* buffer = s.GetText();
    s.Assign(s.GetText() + 3);
    EXPECT_STREQ(s.GetText(), "def");
    EXPECT_EQ(s.GetText(), buffer);
    s.Clear();
    EXPECT_EQ(s.GetText(), buffer);
    EXPECT_EQ(s.GetLength(), 0);

    // A copy (capacity 0) that became the only holder still assigns safely.
    StringMut* source = new StringMut("xyz");
    StringMut copy(*source);
    delete source;
    copy.Assign(copy.GetText() + 1);
    EXPECT_STREQ(copy.GetText(), "yz");
}
