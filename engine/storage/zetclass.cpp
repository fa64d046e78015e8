namespace ZetClass {

void UnitInit() {}
void UnitDone() {}

}  // namespace ZetClass
