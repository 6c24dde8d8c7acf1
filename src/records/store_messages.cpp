#include "records/store_messages.h"

#include "common/message_box.h"
#include "records/record_store.h"

void ShowStoreErrors(QWidget* parent, const records::StoreErrors& errors) {
    for (const records::StoreError& error : errors.errors) {
        ShowMessageBox(parent, error.text);
    }
}
