namespace RamFiles {

void UnitInit() {}
void UnitDone() {}

}  // namespace RamFiles
