// Mute and solo groups. OvGroupMember is the member side (a base of OvTone,
// the tone's view and the mixer's track); OvGroup is the collection that
// carries out the members' pending requests (the rack of part units, the
// mixer). GUI thread only; the audio thread reads only the mute flags that
// the members' OnMute handlers store on their tones.
#pragma once

class OvGroupMember {
public:
    enum State { kNormal = 0, kMuted = 1, kSoloed = 2 };
    enum Request { kRequestMute = 1, kRequestSolo = 2, kRequestUnmute = 3, kRequestUnsolo = 4 };

    virtual ~OvGroupMember() = default;
    virtual void OnMute(bool /*muted*/) {}
    virtual void OnSolo(bool /*soloed*/) {}

    // State and request at once: soloed wins over muted.
    void Init(bool muted, bool soloed);
    void RequestMute(bool on) { m_request = on ? kRequestMute : kRequestUnmute; }
    void RequestSolo(bool on) { m_request = on ? kRequestSolo : kRequestUnsolo; }

    int GetGroupState() const { return m_state; }
    int GetSavedState() const { return m_savedState; }
    int GetRequest() const { return m_request; }
    bool IsMuted() const { return m_state == kMuted; }
    bool IsSoloed() const { return m_state == kSoloed; }

private:
    friend class OvGroup;
    int m_state = kNormal;
    int m_savedState = kNormal;
    int m_request = kNormal;  // after it is applied: the new state
};

class OvGroup {
public:
    virtual ~OvGroup() = default;
    virtual int GetMemberCount() = 0;
    virtual OvGroupMember* GetMember(int index) = 0;

    // Carries out the pending requests and tells every member its flags.
    void ApplyRequests();
    // The states before the first solo; every non-soloing member is muted.
    void SaveStates();
    // Back to the states before the first solo (the last unsolo).
    void RestoreStates();
};
