#include "scope/RecordBuffer.h"

RecordStore& TheRecord() {
    static RecordStore record;
    return record;
}
