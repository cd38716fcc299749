#pragma once
// The folder view's client of the attachment extractor component. It reaches the
// component only through platform/Com: created by class id, called by method name.
#include <functional>
#include <memory>
#include <string>

class IMessageBox;

inline constexpr const char* kExtractorClassId = "{AF511F6D-19DF-4044-AF92-9761FA9182E8}";

class CExtractorClient {
public:
    CExtractorClient();
    ~CExtractorClient();
    // Creates the component. A creation failure is written to stderr as "Error: %s\n" (or
    // "Unknown error!\n"); a success without an object shows "Unknown error getting the
    // IUnknown interface.\n" / "...IDispatch interface.\n" through ui.
    bool Create(IMessageBox* ui);
    bool IsCreated() const;
    // Where automation exceptions go, as "OleException: %s" (message cut to 255 characters).
    // Default: TheErrorLog().
    void SetErrorLogger(std::function<void(const std::string&)> log);
    // Empty string when the call fails in any way.
    std::string ExtractToFolder2(const std::string& messagePath, const std::string& destFolder);
    std::string ExtractToFolder(const std::string& messagePath, const std::string& destFolder);
    // Names the message file the next call will extract, so that the component can read it
    // while the current one is written. Only a hint: nothing happens when the component does
    // not know the method.
    void PrepareMessage(const std::string& messagePath);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Runs a call into the component guarded against its faults. A processor fault inside it or an
// exception it lets out is written to the error log ("SeException: <description>" or
// "Exception: <what> (<messagePath>)") and answered false, so that a run can go on with the next
// message; true when the call returned.
bool CallComponentGuarded(const std::function<void()>& call, const std::string& messagePath);
