// Entry of the link-check programs (see CMakeLists.txt): each links one
// module with all of its objects and only the modules below it. Never run.
int main() { return 0; }
