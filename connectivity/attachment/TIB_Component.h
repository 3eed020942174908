// The base of every object of the attachment layer: it holds the client library (by the load
// count) and belongs to the default session of the thread that created it.
#pragma once

class TIB_Session;

class TIB_Component {
public:
    // Acquires the client library, then joins the thread's default session. When the
    // acquisition raises (a library without a required entry point), nothing is joined and the
    // raised count stays, as the layer's load count rules say.
    TIB_Component();
    virtual ~TIB_Component();
    TIB_Component(const TIB_Component&) = delete;
    TIB_Component& operator=(const TIB_Component&) = delete;

    TIB_Session& Session() const { return *Session_; }

private:
    TIB_Session* Session_ = nullptr;
};
