// The per-thread session of the attachment layer: the connections that share it and the state
// of the most recent client call (status vector, ERRCODE, SQLCODE).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <ibase.h>

class TIB_Component;
class TIB_Connection;
class TIB_Transaction;

class TIB_Session {
public:
    TIB_Session(const TIB_Session&) = delete;
    TIB_Session& operator=(const TIB_Session&) = delete;

    // The calling thread's default session, "DefaultSession", created on first need under
    // ClientCallLock. Needs the library to be acquired (count 0 or more).
    static TIB_Session& Default();

    // A component joins when it is created and leaves when it is destroyed; the session frees
    // itself when the last one leaves.
    void Join(TIB_Component* component);
    void Leave(TIB_Component* component);

    void AddConnection(TIB_Connection* connection);
    void RemoveConnection(TIB_Connection* connection);
    const std::vector<TIB_Connection*>& Connections() const { return Connections_; }

    const std::string& Name() const { return Name_; }

    // The objects that last announced their focus (AnnounceFocus true); nothing in the program
    // listens to focus changes. A focused object that is destroyed leaves nullptr behind.
    TIB_Connection* FocusedConnection() const { return FocusedConnection_; }
    void SetFocusedConnection(TIB_Connection* connection) { FocusedConnection_ = connection; }
    TIB_Transaction* FocusedTransaction() const { return FocusedTransaction_; }
    void SetFocusedTransaction(TIB_Transaction* transaction) { FocusedTransaction_ = transaction; }

    ISC_STATUS* StatusVector() { return Status_; }
    std::int32_t ERRCODE = 0;
    std::int32_t SQLCODE = 0;

    // Builds the failure text of the last client call from the status vector and raises
    // EIB_ISCError for `component`; see TIB_Session.cpp for the composition.
    [[noreturn]] void ReportStatusError(const TIB_Component* component);

private:
    TIB_Session() = default;
    ~TIB_Session();

    std::string Name_ = "DefaultSession";
    std::vector<TIB_Component*> Components_;
    std::vector<TIB_Connection*> Connections_;
    TIB_Connection* FocusedConnection_ = nullptr;
    TIB_Transaction* FocusedTransaction_ = nullptr;
    ISC_STATUS_ARRAY Status_{};
};
