// vexa-view in the browser: the call the page makes when a model file is
// dropped on it or picked with its file input (viewer/web_viewer.js writes
// the file into the page's file system first). Built only for the browser.
#include "viewer/viewer.h"

// Shows the model at path in place of the one on show: 1 when it loaded;
// 0 when it did not (the importer's one line is on stderr, the model shown
// before stays).
extern "C" int vexa_view_open(const char* path) {
    return path && viewer_load(path) ? 1 : 0;
}
