#include "windows/application.h"

int main() { return forms::Run(tablinor::Start); }
