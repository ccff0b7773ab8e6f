// The maker's addresses. The About box's template shows them and its links
// open them, so both take them from here; plain #defines, so that the
// resource compiler can read this file too.
#ifndef VEXORIN_UI_ABOUTLINKS_H
#define VEXORIN_UI_ABOUTLINKS_H

#define VEXORIN_WEB_ADDRESS "http://www.vexorin.example/"
#define VEXORIN_MAIL_ADDRESS "support@vexorin.example"

#endif
