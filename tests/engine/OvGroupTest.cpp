#include <gtest/gtest.h>

#include <vector>

#include "engine/OvGroup.h"

namespace {

class Member : public OvGroupMember {
public:
    int muteCalls = 0;
    int soloCalls = 0;
    bool muted = false;
    bool soloed = false;
    void OnMute(bool on) override
    {
        ++muteCalls;
        muted = on;
    }
    void OnSolo(bool on) override
    {
        ++soloCalls;
        soloed = on;
    }
};

class Rack : public OvGroup {
public:
    explicit Rack(int n) : members(static_cast<size_t>(n)) {}
    int GetMemberCount() override { return static_cast<int>(members.size()); }
    OvGroupMember* GetMember(int i) override { return &members[static_cast<size_t>(i)]; }
    Member& operator[](int i) { return members[static_cast<size_t>(i)]; }
    std::vector<Member> members;
};

}  // namespace

TEST(OvGroup, InitPrefersSoloOverMute)
{
    Member m;
    m.Init(true, true);
    EXPECT_EQ(m.GetGroupState(), OvGroupMember::kSoloed);
    EXPECT_EQ(m.GetRequest(), OvGroupMember::kSoloed);
    m.Init(true, false);
    EXPECT_EQ(m.GetGroupState(), OvGroupMember::kMuted);
    m.Init(false, false);
    EXPECT_EQ(m.GetGroupState(), OvGroupMember::kNormal);
}

TEST(OvGroup, FirstSoloMutesOthersAndLastUnsoloRestoresEveryone)
{
    Rack r(4);
    r[2].Init(true, false);  // muted before the solo
    r[1].RequestSolo(true);
    r.ApplyRequests();
    EXPECT_TRUE(r[1].soloed);
    EXPECT_TRUE(r[0].muted);
    EXPECT_TRUE(r[2].muted);
    EXPECT_TRUE(r[3].muted);

    r[1].RequestSolo(false);
    r.ApplyRequests();
    EXPECT_FALSE(r[0].muted);
    EXPECT_FALSE(r[1].muted);  // the unsoloing one goes back too
    EXPECT_FALSE(r[1].soloed);
    EXPECT_TRUE(r[2].muted);
    EXPECT_FALSE(r[3].muted);
}

TEST(OvGroup, UnsoloOfOneOfTwoMutesItAndKeepsTheOther)
{
    Rack r(3);
    r[0].RequestSolo(true);
    r[1].RequestSolo(true);
    r.ApplyRequests();
    EXPECT_TRUE(r[0].soloed);
    EXPECT_TRUE(r[1].soloed);
    EXPECT_TRUE(r[2].muted);
    r[0].RequestSolo(false);
    r.ApplyRequests();
    EXPECT_TRUE(r[0].muted);
    EXPECT_TRUE(r[1].soloed);
    EXPECT_TRUE(r[2].muted);
}

TEST(OvGroup, UnmuteDuringSoloJoinsTheSoloedAndUnsoloRestoresSavedStates)
{
    Rack r(3);
    r[1].Init(true, false);
    r[0].RequestSolo(true);
    r.ApplyRequests();
    r[2].RequestMute(false);  // muted by the solo; unmuting joins the solo
    r.ApplyRequests();
    EXPECT_TRUE(r[2].soloed);
    EXPECT_EQ(r[2].GetGroupState(), OvGroupMember::kSoloed);

    r[2].RequestSolo(false);
    r.ApplyRequests();
    EXPECT_TRUE(r[2].muted);
    EXPECT_TRUE(r[0].soloed);
    r[0].RequestSolo(false);  // the last unsolo: states before the first solo
    r.ApplyRequests();
    EXPECT_EQ(r[0].GetGroupState(), OvGroupMember::kNormal);
    EXPECT_EQ(r[1].GetGroupState(), OvGroupMember::kMuted);
    EXPECT_EQ(r[2].GetGroupState(), OvGroupMember::kNormal);
    EXPECT_EQ(r[1].GetRequest(), OvGroupMember::kMuted);
}

TEST(OvGroup, RequestEqualToStateChangesNothingButMembersAreTold)
{
    Rack r(2);
    r[0].Init(true, false);
    r[0].RequestMute(true);
    r.ApplyRequests();
    EXPECT_EQ(r[0].GetGroupState(), OvGroupMember::kMuted);
    EXPECT_EQ(r[0].muteCalls, 1);
    EXPECT_EQ(r[1].muteCalls, 1);
    EXPECT_EQ(r[1].soloCalls, 1);
    EXPECT_FALSE(r[1].muted);
}
