import QtQuick 2.15

// Until this page is built, a clear note instead of an error.
NotAvailable {
    what: "Network"
}
