#include "connectivity/attachment/TIB_Component.h"

#include "connectivity/attachment/ClientLibrary.h"
#include "connectivity/attachment/TIB_Session.h"

TIB_Component::TIB_Component() {
    AcquireClientLibrary();
    try {
        Session_ = &TIB_Session::Default();
    } catch (...) {
        ReleaseClientLibrary();
        throw;
    }
    Session_->Join(this);
}

TIB_Component::~TIB_Component() {
    Session_->Leave(this);
    ReleaseClientLibrary();
}
