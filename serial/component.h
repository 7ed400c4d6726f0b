// The class library's component and persistent bases, as far as the port
// component needs them: an owner, a name, the loading and designing states,
// a settings copy that checks the class, and the application's handler for
// errors that escape a component's own guarded calls.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace serial {

class TComponent {
public:
    // The owner is a back reference only; whoever created the component frees it.
    explicit TComponent(TComponent* owner = nullptr) : owner_(owner) {}
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

    // Loading: properties are being set in bulk from a stored form; the
    // component must not act on them until FinishLoading.
    bool Loading() const { return loading_; }
    // Designing: the component lives in a form designer and never touches a device.
    bool Designing() const { return designing_; }
    void SetDesigning(bool designing) { designing_ = designing; }

    void BeginLoading() { loading_ = true; }
    // Ends the loading state; derived components act on what was loaded.
    virtual void FinishLoading() { loading_ = false; }

    virtual const char* ClassName() const noexcept { return "TComponent"; }

private:
    TComponent* owner_;
    std::string name_;
    bool loading_ = false;
    bool designing_ = false;
};

class TPersistent {
public:
    virtual ~TPersistent() = default;
    // Copies the settings of `source`, which must be of the same class;
    // otherwise raises core::EConvertError "Cannot assign a %s to a %s".
    virtual void CopySettingsFrom(const TPersistent& source);
    virtual const char* ClassName() const noexcept { return "TPersistent"; }

protected:
    TPersistent() = default;
    TPersistent(const TPersistent&) = default;
    TPersistent& operator=(const TPersistent&) = default;
    [[noreturn]] void RaiseAssignError(const TPersistent& source) const;
};

// The application's presentation of an error that a component caught on the
// application's behalf (a port stored as connected that cannot be opened, an
// error in a handler delivered through the GUI thread). Without an installed
// handler the message goes to standard error.
using TApplicationExceptionHandler = std::function<void(TComponent* sender, std::exception_ptr error)>;
void SetApplicationExceptionHandler(TApplicationExceptionHandler handler);
void HandleApplicationException(TComponent* sender, std::exception_ptr error);

}  // namespace serial
