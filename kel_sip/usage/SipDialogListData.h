// The SipDialogList entry that owns one dialog; deleting it cleans and deletes the dialog.
#pragma once

#include <memory>
#include <string>

#include "kel_sip/usage/SipDialog.h"
#include "kel_util/IndividualLockData.h"

namespace kel_sip {

class SipDialogListData : public kel_util::IndividualLockData {
public:
    explicit SipDialogListData(std::unique_ptr<SipDialog> dialog)
        : dialog_(std::move(dialog)), callId_(dialog_->dialogId().callId) {}
    ~SipDialogListData() override { dialog_->clean(); }

    int getId() const override { return dialog_->getId(); }
    void setId(int id) override { dialog_->setId(id); }
    SipDialog& dialog() const noexcept { return *dialog_; }
    // The Call-ID the entry is filed under, fixed when it was added.
    const std::string& callId() const noexcept { return callId_; }

private:
    std::unique_ptr<SipDialog> dialog_;
    const std::string callId_;
};

}  // namespace kel_sip
