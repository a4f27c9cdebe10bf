// Takes the place of wineboot.exe in the test prefix. Wine's ExitWindowsEx
// runs "wineboot --end-session", which would terminate every process with a
// window, the tool and the driver included, and restart Wine's services in
// the middle of a run. This one does nothing: the restart request itself is
// seen in the relay trace of the tool.
int main() { return 0; }
