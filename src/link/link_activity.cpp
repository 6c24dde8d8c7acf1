#include "link/link_activity.h"

LinkActivity& LinkActivity::Instance() {
    static LinkActivity instance;
    return instance;
}
