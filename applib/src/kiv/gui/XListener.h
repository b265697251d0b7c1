// XListener: the one-operation notification interface through which a
// control tells its owner about user actions (sender, four-character code,
// value). Views, viewports and radio groups implement it. GUI thread.
#pragma once

class XControl;

class XListener {
public:
    virtual ~XListener() = default;
    virtual int Notify(XControl* sender, int code, int value) = 0;
};
