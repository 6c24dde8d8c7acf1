#pragma once

#include "records/record_store.h"

class QWidget;

// Shows each failure of a record store operation in a box of its own over `parent`, in order.
void ShowStoreErrors(QWidget* parent, const records::StoreErrors& errors);

// Shows what the store's operation reported and passes its result on, so that a call reads as
//     if (ShowingStoreErrors(this, m_store, m_store.SaveRecords(path))) ...
// (the operation runs before the body looks at the store's errors).
template <typename Result>
Result ShowingStoreErrors(QWidget* parent, const RecordStore& store, Result result) {
    ShowStoreErrors(parent, store.Errors());
    return result;
}
